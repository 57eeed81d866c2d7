// Writes the program's images and their companion files into the folder named on the command
// line. Same output bytes on every run: nothing depends on the clock or the machine.
#include "globe.h"
#include "icowriter.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

bool writeFile(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    // QSaveFile leaves the previous file in place if anything fails half-way.
    QSaveFile file(folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "icongen: cannot write %s: %s\n", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
        return false;
    }
    return true;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        return {};
    }
    return bytes;
}

bool writePng(const QDir &folder, const QString &name, const QImage &image)
{
    const QByteArray bytes = pngBytes(image);
    if (bytes.isEmpty()) {
        std::fprintf(stderr, "icongen: cannot encode %s\n", qPrintable(name));
        return false;
    }
    return writeFile(folder, name, bytes);
}

QByteArray resourceCollection()
{
    QString text = QStringLiteral("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n"
                                  "    <qresource prefix=\"/Nuvola\">\n");
    for (int k = 0; k <= 12; ++k) {
        text += QStringLiteral("        <file alias=\"Nuvola%1.png\">Nuvola%1.png</file>\n").arg(k);
    }
    text += QStringLiteral("    </qresource>\n</RCC>\n");
    return text.toUtf8();
}

QByteArray desktopEntry()
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Nuvola\n"
                          "Comment=Envoie par FTP les fichiers modifiés d'un site de station "
                          "météo\n"
                          "Exec=nuvola\n"
                          "Icon=nuvola\n"
                          "Terminal=false\n"
                          "Categories=Network;FileTransfer;\n")
        .toUtf8();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "usage: icongen OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.exists()) {
        std::fprintf(stderr, "icongen: no such folder: %s\n", qPrintable(arguments.at(1)));
        return 2;
    }

    bool ok = true;
    for (int k = 0; k <= 12; ++k) {
        ok = writePng(folder, QStringLiteral("Nuvola%1.png").arg(k), drawGlobe(128, k)) && ok;
    }
    ok = writeFile(folder, QStringLiteral("nuvola.qrc"), resourceCollection()) && ok;
    ok = writePng(folder, QStringLiteral("nuvola.png"), drawGlobe(128, 0)) && ok;

    // Per size a 16-colour, a 256-colour and a 32-bit entry: old shells pick the paletted ones.
    QList<IcoImage> icons;
    for (int size : {16, 24, 32, 48}) {
        const QImage shaded = drawGlobe(size, 0);
        icons.append(IcoImage{drawGlobe(size, 0, GlobeStyle::Flat), 4});
        icons.append(IcoImage{shaded, 8});
        icons.append(IcoImage{shaded, 32});
    }
    const QByteArray ico = buildIco(icons);
    if (ico.isEmpty()) {
        std::fprintf(stderr, "icongen: cannot build the icon\n");
        ok = false;
    } else {
        ok = writeFile(folder, QStringLiteral("nuvola.ico"), ico) && ok;
    }

    ok = writeFile(folder, QStringLiteral("nuvola.rc"),
                   QByteArrayLiteral("IDI_ICON1 ICON DISCARDABLE \"nuvola.ico\"\n")) &&
         ok;
    ok = writeFile(folder, QStringLiteral("nuvola.desktop"), desktopEntry()) && ok;
    return ok ? 0 : 1;
}
