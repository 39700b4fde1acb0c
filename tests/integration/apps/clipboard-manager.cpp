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

    QClipboard* clipboard = QGuiApplication::clipboard();
    QObject::connect(clipboard, &QClipboard::changed, [&](QClipboard::Mode mode) {
        if (mode != QClipboard::Clipboard || clipboard->ownsClipboard())
            return;
        const QMimeData* data = clipboard->mimeData(QClipboard::Clipboard);
        if (!data || data->formats().isEmpty())
            return;
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
    log("ready");
    return app.exec();
}
