#pragma once
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

class QLineEdit;
class QToolButton;

namespace tarvik {

// What the browse button asks of a file-open dialog.
struct FileBrowseRequest {
    QString directory;
    QStringList nameFilters; // in the form "Sound-Files (*.wav)"; empty: every file
    QString selected;        // a name in `directory`, or empty
};
using FileBrowser =
    std::function<std::optional<QString>(QWidget* parent, const FileBrowseRequest&)>;

// Replaces the file-open dialog behind every browse button (a QFileDialog
// unless replaced); returns the previous one.
FileBrowser setFileBrowser(FileBrowser browser);

// A name that holds a blank, shown in double quotes.
QString quotedFileName(const QString& name);
// The name a text stands for: the whole text when a file of that name
// exists, otherwise its first word, where a part in double quotes counts as
// one word and loses its quotes.
QString clipFileName(const QString& text);

// A text box with a button that opens a file-open dialog. The text box, edit(),
// is the one stop of the Tab key.
class TFilenameEdit : public QWidget {
    Q_OBJECT

public:
    explicit TFilenameEdit(QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    QToolButton* button() const { return button_; }

    // The text as it stands.
    QString text() const;
    void setText(const QString& text);

    // The text handled as a file name: quoted when it holds a blank and read
    // back by clipFileName. setFileName throws TarvikError "Invalid file name
    // - <name>" for a name holding < > " [ ] or |.
    void setFileName(const QString& name);
    QString fileName() const;

    // A filter in the form "Description|pattern;pattern|Description|pattern".
    void setFilter(const QString& filter);
    QStringList nameFilters() const { return nameFilters_; }

    void setInitialDir(const QString& directory) { initialDir_ = directory; }

    // When set, a browsed name goes in through setFileName, otherwise as it is.
    void setHandledAsFileName(bool fileName) { handledAsFileName_ = fileName; }

    // What the button does.
    void Browse();

private:
    QLineEdit* edit_;
    QToolButton* button_;
    QStringList nameFilters_;
    QString initialDir_;
    bool handledAsFileName_ = false;
};

} // namespace tarvik
