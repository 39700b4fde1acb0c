// A stand-in clipboard manager, for integration tests: whenever another program takes the
// clipboard, it copies every format and serves the copy itself, as desktop managers do.
//
//   clipboard-manager --log FILE [--ignore-hint]
//
// Contents marked with x-kde-passwordManagerHint = secret are left alone (and "secret" is
// logged) unless --ignore-hint is given; otherwise "took <text>" is logged.
#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QFile>
#include <QMimeData>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({"log", "what it did, one line each", "file"});
    parser.addOption({"ignore-hint", "take even contents marked secret"});
    parser.process(app);
    const QString logPath = parser.value("log");
    const bool ignoreHint = parser.isSet("ignore-hint");
    const auto log = [logPath](const QByteArray& line) {
        QFile file(logPath);
        if (file.open(QIODevice::Append))
            file.write(line + '\n');
    };

    // Polled rather than driven by QClipboard::changed: between two Qt processes that share
    // a server timestamp the change notification can be dropped.
    QClipboard* clipboard = QGuiApplication::clipboard();
    QByteArray lastSeen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (clipboard->ownsClipboard())
            return;
        const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
        if (!data || data->formats().isEmpty())
            return;
        const QByteArray seen = data->formats().join(',').toUtf8() + '\n' + data->text().toUtf8();
        if (seen == lastSeen)
            return;
        lastSeen = seen;
        if (!ignoreHint && data->data("x-kde-passwordManagerHint") == "secret") {
            log("secret");
            return;
        }
        auto* copy = new QMimeData;
        for (const QString& format : data->formats())
            copy->setData(format, data->data(format));
        const QByteArray text = copy->text().toUtf8();
        clipboard->setMimeData(copy, QClipboard::Clipboard);
        log("took " + text);
    });
    poll.start(20);
    log("ready");
    return app.exec();
}
