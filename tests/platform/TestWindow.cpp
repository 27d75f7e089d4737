#include "TestWindow.h"

#include <QProcessEnvironment>

TestWindow::TestWindow(const QString& title, const QString& display)
{
    if (!display.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        process_.setProcessEnvironment(env);
    }
    process_.start(QStringLiteral(ZELVAN_TEST_WINDOW), {title});
    QByteArray line;
    while (!line.contains('\n') && process_.waitForReadyRead(20000))
        line += process_.readAllStandardOutput();
    window_ = line.trimmed().toULongLong();
}

TestWindow::~TestWindow()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}
