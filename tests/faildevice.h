#ifndef ORVANDEL_FAILDEVICE_H
#define ORVANDEL_FAILDEVICE_H

#include <QIODevice>

// A device that accepts `room` bytes and then fails, like a full disk.
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(qint64 room) : room(room) {}
    QByteArray written;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 n = qMin(size, room - written.size());
        if (n <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written.append(data, int(n));
        return n;
    }

private:
    qint64 room;
};

#endif
