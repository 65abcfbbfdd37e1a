#include "ui/abo_frm.h"

#include "ui/widgets/design_scale.h"
#include "ui/widgets/window_stacking.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

#ifndef TARVIK_VERSION
#error "TARVIK_VERSION comes from the build"
#endif

namespace tarvik {
namespace {

constexpr int kClientWidth = 367, kClientHeight = 248;
constexpr int kFontHeight = 14, kProductFontHeight = 13;

QLabel* label(const QString& text, const char* name, const QRect& geometry, QWidget* parent) {
    auto* result = named(new QLabel(text, parent), name);
    result->setGeometry(geometry);
    result->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return result;
}

} // namespace

TAboutBox::TAboutBox(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    const DesignScale s(*this);
    setFont(s.windowFont(kFontHeight));
    setFixedSize(s(kClientWidth, kClientHeight));

    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setGeometry(s(10, 10, 346, 191));
    // Lowered outside, raised inside: an etched frame.
    Panel1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    ProductName = label(QStringLiteral("TARVIK for Courier Modems with TREVA 2.51+"), "ProductName",
                        s(7, 20, 333, 21), Panel1);
    ProductName->setWordWrap(true);
    QFont productFont = font();
    productFont.setPixelSize(s(kProductFontHeight));
    productFont.setBold(true);
    productFont.setItalic(true);
    ProductName->setFont(productFont);

    Version = label(QStringLiteral("Version %1").arg(QLatin1String(TARVIK_VERSION)), "Version",
                    s(7, 50, 333, 18), Panel1);
    Copyright = label(QStringLiteral("The TARVIK project"), "Copyright", s(7, 74, 333, 18), Panel1);
    Comments = label(QStringLiteral("Caller-ID and dialing for one line.\n"
                                    "Reports and questions go to the\n"
                                    "TARVIK project. Thanks to all who\n"
                                    "tested it with their own modems."),
                     "Comments", s(6, 115, 333, 70), Panel1);

    OKButton = named(new QPushButton(QStringLiteral("OK"), this), "OKButton");
    OKButton->setGeometry(s(137, 208, 92, 31));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);

    // Centred on the screen rather than on the owner.
    if (const QScreen* where = screen()) {
        QRect placed(QPoint(), size());
        placed.moveCenter(where->availableGeometry().center());
        move(placed.topLeft());
    }
}

void runAboutBox(QWidget* owner) {
    TAboutBox box(owner);
    stackAboveOwner(box, owner);
    box.exec();
}

} // namespace tarvik
