#include "book/filepaths.h"

#include "book/xmltext.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// UTF-8 where a byte that is no part of a well-formed sequence reads as
// the lone surrogate U+DC00 + byte (as Python's "surrogateescape" does), and
// such a surrogate is written back as its byte: every name survives being
// read into a QString and given back to the system. Names and messages come
// whole; a stream cut inside a sequence would still give its bytes back.
class ByteKeepingUtf8 : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("x-orvandel-utf-8-bytes"); }
    int mibEnum() const override { return -106; }

protected:
    QString convertToUnicode(const char *in, int length, ConverterState *) const override
    {
        const auto *p = reinterpret_cast<const uchar *>(in);
        const uchar *const end = p + length;
        QString out;
        out.reserve(length);
        while (p < end) {
            uint code = 0;
            if (const int n = XmlText::utf8Sequence(p, end, &code)) {
                if (QChar::requiresSurrogates(code))
                    out.append(QChar(QChar::highSurrogate(code))).append(QChar(QChar::lowSurrogate(code)));
                else
                    out.append(QChar(code));
                p += n;
            } else {
                out.append(QChar(0xDC00 + *p++));
            }
        }
        return out;
    }

    QByteArray convertFromUnicode(const QChar *in, int length, ConverterState *) const override
    {
        const QStringView text(in, length);
        QByteArray out;
        int from = 0; // the run of characters written as plain UTF-8
        for (int i = 0; i < length; ++i) {
            const ushort c = in[i].unicode();
            if (QChar::isHighSurrogate(c) && i + 1 < length && in[i + 1].isLowSurrogate()) {
                ++i;
                continue;
            }
            if (!QChar::isSurrogate(c))
                continue;
            out += text.mid(from, i - from).toUtf8();
            out += c >= 0xDC80 && c <= 0xDCFF ? char(c - 0xDC00) : '?';
            from = i + 1;
        }
        return out + text.mid(from).toUtf8();
    }
};

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool sharedWithoutHarm(const QString &path)
{
    struct stat st;
    return ::stat(native(path).constData(), &st) == 0
        && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

} // namespace

QString FilePaths::planned(const QString &path)
{
    // Bytes all along, and no lexical clean-up: "link/.." is wherever the
    // link's parent is, which only the system knows.
    QByteArray at = native(path);
    if (!at.startsWith('/'))
        at = native(QDir::currentPath()) + '/' + at;
    char buffer[PATH_MAX];
    for (int links = 0; links < 40; ++links) { // the system gives up after as many
        const ssize_t n = ::readlink(at.constData(), buffer, sizeof buffer);
        if (n <= 0 || size_t(n) >= sizeof buffer)
            break;
        const QByteArray target(buffer, int(n));
        at = target.startsWith('/') ? target : at.left(at.lastIndexOf('/') + 1) + target;
    }
    if (::realpath(at.constData(), buffer))
        return QFile::decodeName(buffer);
    const int slash = at.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : at.left(slash);
    if (!::realpath(folder.constData(), buffer))
        return QFile::decodeName(at); // no folder to write into: the write fails anyway
    QByteArray real(buffer);
    if (!real.endsWith('/'))
        real += '/';
    return QFile::decodeName(real + at.mid(slash + 1));
}

bool FilePaths::sameFile(const QString &a, const QString &b)
{
    struct stat x, y;
    if (::stat(native(a).constData(), &x) == 0 && ::stat(native(b).constData(), &y) == 0)
        return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
    return planned(a) == planned(b);
}

bool FilePaths::outputsApart(const QStringList &inputs, const QStringList &outputs)
{
    for (int o = 0; o < outputs.size(); ++o) {
        const QString &output = outputs.at(o);
        if (output.isEmpty() || sharedWithoutHarm(output))
            continue;
        for (const QString &input : inputs)
            if (!input.isEmpty() && sameFile(output, input)) {
                error = tr("%1 : la sortie serait écrite sur %2, un fichier lu").arg(output, input);
                return false;
            }
        for (int other = 0; other < o; ++other)
            if (!outputs.at(other).isEmpty() && sameFile(output, outputs.at(other))) {
                error = tr("%1 : la sortie serait écrite dans le même fichier que %2").arg(output, outputs.at(other));
                return false;
            }
    }
    return true;
}

void FilePaths::keepNameBytes()
{
    // Latin-1 and other one-byte locales give every byte back already.
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    const QTextCodec *locale = QTextCodec::codecForLocale();
    if (locale->fromUnicode(locale->toUnicode(high)) == high)
        return;
    static QTextCodec *const codec = new ByteKeepingUtf8; // Qt owns its codecs
    QTextCodec::setCodecForLocale(codec);
}
