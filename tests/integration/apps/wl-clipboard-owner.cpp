// Another application's clipboard on Wayland, with several formats at once (wl-copy offers
// one): takes the selection through data-control and serves it until it is taken or killed.
//
//   wl-clipboard-owner [--primary] TYPE BASE64 [TYPE BASE64 ...]
//
// Prints "owned" once the compositor has the selection, and exits when another client takes it.
#include "platform/wayland/DataControlClipboard.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    Selection selection = Selection::Clipboard;
    if (!args.isEmpty() && args.first() == QLatin1String("--primary")) {
        selection = Selection::Primary;
        args.removeFirst();
    }
    if (args.isEmpty() || args.size() % 2 != 0) {
        std::fprintf(stderr, "usage: wl-clipboard-owner [--primary] TYPE BASE64 ...\n");
        return 2;
    }
    QString why;
    auto clipboard = DataControlClipboard::connect(&why);
    if (!clipboard) {
        std::fprintf(stderr, "wl-clipboard-owner: %s\n", qPrintable(why));
        return 1;
    }
    ClipboardItem item;
    for (qsizetype i = 0; i < args.size(); i += 2)
        item.insert(args[i], QByteArray::fromBase64(args[i + 1].toLatin1()));
    clipboard->writeItems(selection, {item});
    std::printf("owned\n");
    std::fflush(stdout);
    QTimer lost;
    QObject::connect(&lost, &QTimer::timeout, [&] {
        if (!clipboard->ownsSelection(selection))
            app.quit();
    });
    lost.start(50);
    return app.exec();
}
