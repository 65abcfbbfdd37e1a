#include "platform/box_recorder.h"

#include <QFile>

namespace tarvik {

BoxResult RecordingPresenter::present(const BoxRequest& request) {
    std::lock_guard guard(lock_);
    boxes_.append(request);
    return request.buttons == BoxButtons::YesNo ? yesNoAnswer_ : BoxResult::Ok;
}

QList<BoxRequest> RecordingPresenter::boxes() const {
    std::lock_guard guard(lock_);
    return boxes_;
}

void RecordingPresenter::clear() {
    std::lock_guard guard(lock_);
    boxes_.clear();
}

void RecordingPresenter::setYesNoAnswer(BoxResult answer) {
    std::lock_guard guard(lock_);
    yesNoAnswer_ = answer;
}

BoxResult FileRecordingPresenter::present(const BoxRequest& request) {
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QString text = request.text;
        text.replace(QLatin1Char('\r'), QLatin1String("\\n"))
            .replace(QLatin1Char('\n'), QLatin1String("\\n"));
        file.write((request.caption + QLatin1Char('\t') + text + QLatin1Char('\n')).toUtf8());
    }
    return request.buttons == BoxButtons::YesNo ? BoxResult::Yes : BoxResult::Ok;
}

} // namespace tarvik
