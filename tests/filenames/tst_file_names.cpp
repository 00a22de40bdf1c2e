#include "FileNameCodec.h"
#include "SystemPaths.h"
#include "WorkbookClaim.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string bytesOf(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values)
        bytes += char(value);
    return bytes;
}

bool makeFile(const QByteArray& path, const QByteArray& content) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, content.constData(), std::size_t(content.size())) == content.size();
    return ::close(fd) == 0 && written;
}

} // namespace

class FileNames : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every name of up to two bytes, and every three-byte name over the bytes that make or break
    // UTF-8 sequences, comes back as the same bytes.
    void everyShortNameComesBack() {
        std::string name;
        for (int a = 0; a < 256; ++a) {
            name = bytesOf({a});
            QCOMPARE(fileNameBytes(fileNameText(name)), name);
            for (int b = 0; b < 256; ++b) {
                name = bytesOf({a, b});
                QCOMPARE(fileNameBytes(fileNameText(name)), name);
            }
        }
        const int edges[] = {0x00, 0x41, 0x7F, 0x80, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                             0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
        for (int a : edges)
            for (int b : edges)
                for (int c : edges)
                    for (int d : edges) {
                        name = bytesOf({a, b, c, d});
                        QCOMPARE(fileNameBytes(fileNameText(name)), name);
                    }
    }

    void randomNamesComeBack() {
        QRandomGenerator random(20261207);
        for (int round = 0; round < 20000; ++round) {
            std::string name(random.bounded(1, 40), '\0');
            for (char& c : name)
                c = char(random.bounded(256));
            QCOMPARE(fileNameBytes(fileNameText(name)), name);
        }
    }

    // UTF-8 reads as UTF-8; only the bytes that are not part of it are kept, one unit each.
    void utf8IsTextAndOnlyTheRestIsKept() {
        const std::string utf8 = "Pr\xC3\xA9"
                                 "cipitation \xC2\xB5g/m\xC2\xB3 \xF0\x9F\x8C\x8A";
        QCOMPARE(QString::fromStdU16String(fileNameText(utf8)), QString::fromUtf8(utf8.c_str()));
        QVERIFY(!holdsKeptBytes(fileNameText(utf8)));

        QCOMPARE(fileNameText("caf\xE9.pvx"), std::u16string(u"caf\xDCE9.pvx"));
        // An encoded surrogate, an overlong slash and a code point past U+10FFFF are not UTF-8.
        QCOMPARE(fileNameText("\xED\xA0\x80"), std::u16string(u"\xDCED\xDCA0\xDC80"));
        QCOMPARE(fileNameText("\xC0\xAF"), std::u16string(u"\xDCC0\xDCAF"));
        QCOMPARE(fileNameText("\xF4\x90\x80\x80"), std::u16string(u"\xDCF4\xDC90\xDC80\xDC80"));
        // A sequence cut short keeps its bytes, and the next character is read as it is.
        QCOMPARE(fileNameText("\xE2\x82x"), std::u16string(u"\xDCE2\xDC82x"));
        QVERIFY(holdsKeptBytes(fileNameText("caf\xE9")));

        // A lone surrogate that holds no byte has no name of its own.
        QCOMPARE(fileNameBytes(u"a\xD800"
                               u"b"),
                 std::string("a\xEF\xBF\xBD"
                             "b"));
        QCOMPARE(fileNameBytes(u"\xDC41"), std::string("\xEF\xBF\xBD"));
        QVERIFY(!holdsKeptBytes(std::u16string(u"\xD83C\xDF0A")));
    }

    // A file, folder and link named in Latin-1 are found, opened and resolved under their bytes.
    void systemPathsReachNamesThatAreNotUtf8() {
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QByteArray root = QFile::encodeName(temporary.path());
        const QByteArray folder = root + "/d\xE9p";
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
        const QByteArray file = folder + "/caf\xE9.pvx";
        QVERIFY(makeFile(file, "PVX"));
        QCOMPARE(::symlink("caf\xE9.pvx", (folder + "/l\xEFnk").constData()), 0);

        const QString path = decodeFileName(file);
        QVERIFY(holdsKeptBytes(path));
        QCOMPARE(encodeFileName(path), file);
        QVERIFY(pathExists(path));
        QVERIFY(isRegularFile(path));
        QVERIFY(isFolder(decodeFileName(folder)));
        QVERIFY(mayAccess(path, R_OK));

        QFile opened;
        QString error;
        QVERIFY2(openFile(opened, path, QIODevice::ReadOnly, error), qPrintable(error));
        QCOMPARE(opened.readAll(), QByteArray("PVX"));
        QVERIFY(!openFile(opened, decodeFileName(folder + "/none\xE9"), QIODevice::ReadOnly, error));
        QCOMPARE(error, QString::fromLocal8Bit(std::strerror(ENOENT)));
        QVERIFY(!openFile(opened, decodeFileName(folder), QIODevice::ReadOnly, error));
        QCOMPARE(error, QStringLiteral("file to open is a directory"));

        const QString link = decodeFileName(folder + "/l\xEFnk");
        QVERIFY(isSymbolicLink(link));
        QCOMPARE(linkTarget(link), path);
        QCOMPARE(canonicalPath(link),
                 decodeFileName(QFile::encodeName(QFileInfo(temporary.path()).canonicalFilePath()) +
                                "/d\xE9p/caf\xE9.pvx"));
        QCOMPARE(WorkbookClaim::resolvedPath(link), canonicalPath(path));
        QCOMPARE(WorkbookClaim::resolvedPath(decodeFileName(folder + "/../d\xE9p/n\xE9w.xlsx")),
                 joinPath(canonicalPath(decodeFileName(folder)), decodeFileName("n\xE9w.xlsx")));

        QVERIFY(removeFile(path));
        QVERIFY(!pathExists(path));
        QVERIFY(!isRegularFile(link));
        // Qt's own listing skips names that are not UTF-8, so the temporary folder would keep them.
        QVERIFY(removeFile(link));
        QCOMPARE(::rmdir(folder.constData()), 0);
    }

    // ".." after a link is the system's: it leads out of the folder the link points to, for a
    // workbook that exists and for one not made yet, and a link's relative target starts there too.
    void dotsAfterALinkAreResolvedByTheSystem() {
        QTemporaryDir temporary;
        QVERIFY(temporary.isValid());
        const QString root = QFileInfo(temporary.path()).canonicalFilePath();
        QVERIFY(QDir(root).mkpath(QStringLiteral("real/inner")));
        QVERIFY(QFile::link(root + QStringLiteral("/real/inner"), root + QStringLiteral("/jump")));
        QVERIFY(makeFile(QFile::encodeName(root + QStringLiteral("/real/book.xlsx")), "PK"));
        QCOMPARE(WorkbookClaim::resolvedPath(root + QStringLiteral("/jump/../book.xlsx")),
                 root + QStringLiteral("/real/book.xlsx"));
        QCOMPARE(WorkbookClaim::resolvedPath(root + QStringLiteral("/jump/../new.xlsx")),
                 root + QStringLiteral("/real/new.xlsx"));
        QCOMPARE(
            ::symlink("../book.xlsx", QFile::encodeName(root + QStringLiteral("/real/inner/up")).constData()),
            0);
        QCOMPARE(WorkbookClaim::resolvedPath(root + QStringLiteral("/jump/up")),
                 root + QStringLiteral("/real/book.xlsx"));
        QCOMPARE(linkTarget(root + QStringLiteral("/jump/up")), root + QStringLiteral("/real/book.xlsx"));
    }

    void pathsAreSplitAndCleaned() {
        QCOMPARE(folderOf(QStringLiteral("/a/b.xlsx")), QStringLiteral("/a"));
        QCOMPARE(folderOf(QStringLiteral("/b.xlsx")), QStringLiteral("/"));
        QCOMPARE(nameOf(QStringLiteral("/a/b.xlsx")), QStringLiteral("b.xlsx"));
        QCOMPARE(joinPath(QStringLiteral("/"), QStringLiteral("b")), QStringLiteral("/b"));
        QCOMPARE(absolutePath(QStringLiteral("/a/./c/../b")), QStringLiteral("/a/b"));
    }
};

QTEST_GUILESS_MAIN(FileNames)
#include "tst_file_names.moc"
