#pragma once
#include <QByteArray>
#include <functional>

namespace tarvik {

// Takes one line for the call log: the window binds it to WriteLogLine and the
// log file of the settings, the service also to its journal, tests capture the
// lines. Readers of settings tell what they could not use through one.
using LogLineSink = std::function<void(const QByteArray& message)>;

} // namespace tarvik
