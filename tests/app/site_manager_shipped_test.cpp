// What the build puts beside the program for the dialogs: the help pages they
// open, with no broken links between them, and the event sounds as short,
// quiet, click-free 16-bit mono wave files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>
#include <cmath>

namespace {

QString program_file(const QString& name)
{
    return QDir(QStringLiteral(QVTF_PROGRAM_DIR)).filePath(name);
}

TEST(SiteManagerShipped, HelpPagesExistAndTheirLinksResolve)
{
    // The main window's contents and support pages, the site manager's, the
    // synchronisation wizard's and one per settings page.
    const QStringList opened = {"help.html", "support.html", "0200.html", "0360.html", "0400.html",
                                "0420.html", "0440.html",    "0460.html", "0480.html"};
    const QDir help(program_file("help"));
    for (const QString& page : opened)
        EXPECT_TRUE(QFileInfo(help.filePath(page)).isFile()) << page.toStdString();

    const QRegularExpression link(R"((?:href|src)="([^"#:]*)(#[^"]*)?")");
    int links = 0;
    for (const QString& page : help.entryList({"*.html"}, QDir::Files)) {
        QFile file(help.filePath(page));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(text.contains("<title>") && text.contains("style.css")) << page.toStdString();
        for (auto m = link.globalMatch(text); m.hasNext();) {
            const auto hit = m.next();
            QString target = hit.captured(1);
            const QString anchor = hit.captured(2).mid(1);
            if (target.isEmpty())
                target = page;
            ++links;
            ASSERT_TRUE(QFileInfo(help.filePath(target)).isFile())
                << page.toStdString() << " -> " << target.toStdString();
            if (!anchor.isEmpty()) {
                QFile linked(help.filePath(target));
                ASSERT_TRUE(linked.open(QIODevice::ReadOnly));
                EXPECT_TRUE(QString::fromUtf8(linked.readAll()).contains("id=\"" + anchor + "\""))
                    << page.toStdString() << " -> " << target.toStdString() << "#" << anchor.toStdString();
            }
        }
    }
    EXPECT_GT(links, 20);
}

TEST(SiteManagerShipped, SoundsAreShortQuietMonoChimes)
{
    for (const char* name : {"connect.wav", "disconnect.wav", "transfer.wav"}) {
        SCOPED_TRACE(name);
        QFile file(program_file(QString("sounds/") + name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        ASSERT_GE(wav.size(), 44);
        const auto* b = reinterpret_cast<const uchar*>(wav.constData());
        EXPECT_EQ(wav.left(4), "RIFF");
        EXPECT_EQ(wav.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(qFromLittleEndian<quint32>(b + 4), static_cast<quint32>(wav.size() - 8));
        EXPECT_EQ(qFromLittleEndian<quint16>(b + 20), 1);  // PCM
        EXPECT_EQ(qFromLittleEndian<quint16>(b + 22), 1);  // mono
        const quint32 rate = qFromLittleEndian<quint32>(b + 24);
        EXPECT_EQ(qFromLittleEndian<quint16>(b + 34), 16);
        EXPECT_EQ(wav.mid(36, 4), "data");
        const quint32 bytes = qFromLittleEndian<quint32>(b + 40);
        ASSERT_EQ(bytes, static_cast<quint32>(wav.size() - 44));
        const double seconds = bytes / 2.0 / rate;
        EXPECT_GT(seconds, 0.2);
        EXPECT_LT(seconds, 1.5);
        int peak = 0;
        const int count = static_cast<int>(bytes / 2);
        for (int i = 0; i < count; ++i)
            peak = std::max(peak, std::abs(static_cast<int>(qFromLittleEndian<qint16>(b + 44 + 2 * i))));
        // Audible but soft, and it starts and ends in silence, so no click.
        EXPECT_GT(peak, 32767 / 10);
        EXPECT_LT(peak, 32767 * 7 / 10);
        EXPECT_LT(std::abs(qFromLittleEndian<qint16>(b + 44)), 200);
        EXPECT_LT(std::abs(qFromLittleEndian<qint16>(b + 44 + 2 * (count - 1))), 200);
    }
}

}  // namespace
