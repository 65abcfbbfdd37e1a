#pragma once
#include "platform/box_recorder.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `body` in a child process and gives its result, 0 to 125, or -1 when the
// child failed; what the body changes in its process never reaches this one.
inline int inChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status) > 125 ? -1 : WEXITSTATUS(status);
}

// The same in a child whose files may not grow past `maxFileSize` bytes: writes
// beyond fail with EFBIG, as on a full disk.
inline int inChildWithFileSizeLimit(rlim_t maxFileSize, const std::function<int()>& body) {
    return inChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = maxFileSize;
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? body() : 126;
    });
}

// A private configuration folder and program folder per test, and a recorder for boxes.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        savedConfig_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp_.filePath("config")));
        programDir_ = temp_.filePath("program") + '/';
        QDir().mkpath(programDir_);
        recorder_ = std::make_shared<tarvik::RecordingPresenter>();
        previous_ = tarvik::setMessagePresenter(recorder_);
    }
    void TearDown() override {
        tarvik::setMessagePresenter(previous_);
        qputenv("XDG_CONFIG_HOME", savedConfig_);
    }

    QString configDir() const { return temp_.filePath("config/Tarvik"); }
    QString iniPath() const { return configDir() + "/Tarvik.ini"; }
    QString path(const QString& name) const { return temp_.filePath(name); }

    static QByteArray readAll(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void writeAll(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

    QTemporaryDir temp_;
    QString programDir_;
    std::shared_ptr<tarvik::RecordingPresenter> recorder_;

private:
    QByteArray savedConfig_;
    std::shared_ptr<tarvik::MessagePresenter> previous_;
};
