#include "ZOZApp.h"
#include "base/ZOZLog.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace {

void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    const int line = context.line;
    ZOZ::Log *log = ZOZ::Log::instance();
    if (!log)
        return;
    if (type == QtCriticalMsg)
        log->write(context.file, &line, ZOZ::LogFlag::Error, QStringLiteral("QtCritical: '%1'").arg(text));
    else if (type == QtFatalMsg)
        log->write(context.file, &line, ZOZ::LogFlag::Error, QStringLiteral("QtFatal: '%1'").arg(text));
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    qInstallMessageHandler(messageHandler);

    bool gui = hasDisplay();
    // Without a display the program runs headless: the toolkit still needs a
    // platform, and the HTTP server is the only interface.
    if (!gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The web engine of the window shares its graphics contexts with the toolkit.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    auto *app = new ZOZ::App(gui, argc, argv);
    const ZOZ::App::InitResult started = app->init();
    if (started != ZOZ::App::InitResult::Running) {
        delete app;
        return started == ZOZ::App::InitResult::Finished ? 0 : 1;
    }

    // The main thread keeps the process name ("zoz"): on Linux its thread name
    // is what ps, top and killall show for the whole process.
    const int result = app->exec();
    delete app;
    return result;
}
