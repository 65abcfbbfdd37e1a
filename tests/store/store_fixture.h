#pragma once
#include "platform/box_recorder.h"
#include "platform/errors.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

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
