#pragma once
#include "platform/messages.h"

#include <QList>
#include <mutex>

namespace tarvik {

// Remembers every box instead of showing it; answers Yes/No boxes with a set reply.
class RecordingPresenter final : public MessagePresenter {
public:
    BoxResult present(const BoxRequest& request) override;

    QList<BoxRequest> boxes() const;
    void clear();
    void setYesNoAnswer(BoxResult answer);

private:
    mutable std::mutex lock_;
    QList<BoxRequest> boxes_;
    BoxResult yesNoAnswer_ = BoxResult::Yes;
};

// Appends one line per box to a file ("caption<TAB>text", line breaks in the
// text written as \n) and answers Ok/Yes; lets whole-program tests see the boxes.
class FileRecordingPresenter final : public MessagePresenter {
public:
    explicit FileRecordingPresenter(QString path)
        : path_(std::move(path)) {}
    BoxResult present(const BoxRequest& request) override;

private:
    QString path_;
};

} // namespace tarvik
