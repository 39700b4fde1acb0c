// Writes the application icon into an icon theme folder (hicolor layout): the scalable SVG
// and one PNG per usual size. Run by the build; not installed.
//   make-icons OUTDIR
#include "app/ApplicationIcon.h"
#include "common/PngSnapshot.h"

#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const auto fail = [](const QString& path) {
        std::fprintf(stderr, "make-icons: cannot write %s\n", qPrintable(path));
        return 1;
    };

    const QString scalable = out.filePath(QStringLiteral("scalable/apps"));
    QFile svg(scalable + QStringLiteral("/wendlo.svg"));
    if (!QDir().mkpath(scalable) || !svg.open(QIODevice::WriteOnly) ||
        svg.write(ApplicationIcon::svg()) < 0)
        return fail(svg.fileName());
    svg.close();

    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        const QString folder = out.filePath(QStringLiteral("%1x%1/apps").arg(size));
        const QString png = folder + QStringLiteral("/wendlo.png");
        if (!QDir().mkpath(folder))
            return fail(folder);
        if (const Failure failure = PngSnapshot::write(ApplicationIcon::render(size), png,
                                                       QStringLiteral("cannot encode ") + png)) {
            std::fprintf(stderr, "make-icons: %s\n", qPrintable(failure->message));
            return 1;
        }
    }
    return 0;
}
