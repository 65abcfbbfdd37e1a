#include "ui/widgets/filename_edit.h"

#include "platform/errors.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <algorithm>

namespace tarvik {
namespace {

std::optional<QString> runFileDialog(QWidget* parent, const FileBrowseRequest& request) {
    QFileDialog dialog(parent, QString(), request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.nameFilters.isEmpty()) dialog.setNameFilters(request.nameFilters);
    if (!request.selected.isEmpty()) dialog.selectFile(request.selected);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

FileBrowser& fileBrowser() {
    static FileBrowser browser = runFileDialog;
    return browser;
}

bool validFileName(const QString& name) {
    return std::ranges::none_of(name,
                                [](QChar ch) { return QStringView(u"<>\"[]|").contains(ch); });
}

} // namespace

FileBrowser setFileBrowser(FileBrowser browser) {
    if (!browser) browser = runFileDialog;
    std::swap(fileBrowser(), browser);
    return browser;
}

QString quotedFileName(const QString& name) {
    const bool blank = std::any_of(name.begin(), name.end(), [](QChar ch) { return ch.isSpace(); });
    return blank ? QLatin1Char('"') + name + QLatin1Char('"') : name;
}

QString clipFileName(const QString& text) {
    const QFileInfo whole(text);
    if (!text.isEmpty() && whole.exists() && !whole.isDir()) return text;
    QString word;
    bool quoted = false;
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    for (; i < text.size(); ++i) {
        const QChar ch = text[i];
        if (ch == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && ch.isSpace())
            break;
        else
            word += ch;
    }
    return word;
}

TFilenameEdit::TFilenameEdit(QWidget* parent)
    : QWidget(parent)
    , edit_(new QLineEdit(this))
    , button_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(edit_);
    layout->addWidget(button_);
    button_->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    button_->setToolTip(tr("Browse"));
    // Like the edit's own button: not a stop of the Tab key.
    button_->setFocusPolicy(Qt::NoFocus);
    connect(button_, &QToolButton::clicked, this,
            [this] { runWithErrorReport([this] { Browse(); }); });
}

QString TFilenameEdit::text() const {
    return edit_->text();
}

void TFilenameEdit::setText(const QString& text) {
    edit_->setText(text);
}

void TFilenameEdit::setFileName(const QString& name) {
    if (!validFileName(name)) throw TarvikError(QStringLiteral("Invalid file name - %1").arg(name));
    setText(quotedFileName(name));
}

QString TFilenameEdit::fileName() const {
    return clipFileName(text());
}

void TFilenameEdit::setFilter(const QString& filter) {
    nameFilters_.clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        const QString patterns = parts[i + 1].split(QLatin1Char(';')).join(QLatin1Char(' '));
        const QString suffix = QStringLiteral("(%1)").arg(patterns);
        nameFilters_ << (description.endsWith(suffix) ? description
                                                      : description + QLatin1Char(' ') + suffix);
    }
}

void TFilenameEdit::Browse() {
    const QString current = handledAsFileName_ ? fileName() : text();
    const QFileInfo currentFile(current);
    FileBrowseRequest request;
    request.nameFilters = nameFilters_;
    request.directory =
        initialDir_.isEmpty() && !current.isEmpty() ? currentFile.absolutePath() : initialDir_;
    if (!current.isEmpty() && QDir(request.directory).absolutePath() == currentFile.absolutePath())
        request.selected = currentFile.fileName();

    const std::optional<QString> chosen = fileBrowser()(window(), request);
    if (!chosen) return;
    if (handledAsFileName_)
        setFileName(*chosen);
    else
        setText(*chosen);
}

} // namespace tarvik
