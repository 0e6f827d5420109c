#ifndef ORVANDEL_TESTS_SUPPORT_H
#define ORVANDEL_TESTS_SUPPORT_H

// Shared by the tests: answering modal dialogs, fixture files, a failing
// device, and driving a form by its widgets' object names.

#include "book/bookreader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace Support {

inline QString fixture(const QString &name)
{
    return QStringLiteral(ORVANDEL_TEST_DATA "/") + name;
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A fixture book read into the model; a fixture that does not read stops the test program.
inline Book readFixture(const QString &name)
{
    BookReader reader;
    if (!reader.read(readBytes(fixture(name))))
        qFatal("%s: %s", qPrintable(name), qPrintable(reader.errorString()));
    return reader.book();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An XML parser that is not ours must accept the file.
inline bool xmllintAccepts(const QString &path)
{
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--huge"), path});
    return lint.waitForFinished(60000) && lint.exitStatus() == QProcess::NormalExit
        && lint.exitCode() == 0;
}

// A device that accepts `room` bytes and then fails, like a full disk.
class FailDevice : public QIODevice
{
public:
    explicit FailDevice(qint64 room) : room(room) { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 size) override
    {
        const qint64 n = qMin(size, room - written);
        if (n <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written += n;
        return n;
    }

private:
    qint64 room;
    qint64 written = 0;
};

// Answers modal dialogs in the order they come up, one step per dialog. It
// polls from a timer, which keeps running inside the nested loops of exec().
// A dialog nobody expected is rejected and its class noted, so that a test
// never hangs on it.
class ModalScript : public QObject
{
public:
    using Step = std::function<void(QWidget *)>;

    ModalScript()
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, this, [this]() { poll(); });
        timer.start();
    }
    ModalScript &then(Step step)
    {
        steps.append(std::move(step));
        return *this;
    }
    // Notes a message box's title and text, then presses `button`.
    ModalScript &message(QStringList *seen, QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        return then([this, seen, button](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            *seen << (box ? box->windowTitle() + QLatin1Char('|') + box->text()
                          : QStringLiteral("<%1>").arg(QLatin1String(modal->metaObject()->className())));
            // A question that protects work answers No to an author who
            // just presses Enter.
            if (box && button == QMessageBox::No && static_cast<QAbstractButton *>(box->defaultButton()) != box->button(QMessageBox::No))
                unexpected << QStringLiteral("Enter does not answer No: ") + box->windowTitle();
            if (box && box->button(button))
                box->button(button)->click();
            else
                qobject_cast<QDialog *>(modal)->reject();
        });
    }
    // Answers a prompt (a text prompt, or the new book's name with its
    // first number) with `text`, or cancels it when `text` is null.
    ModalScript &prompt(const QString &text, bool startAtOne = false)
    {
        return then([text, startAtOne](QWidget *modal) {
            auto *dialog = qobject_cast<QDialog *>(modal);
            auto *prompt = qobject_cast<QInputDialog *>(modal);
            auto *name = modal->findChild<QLineEdit *>(QStringLiteral("le_RootName"));
            if ((!prompt && !name) || text.isNull())
                return dialog->reject();
            if (prompt)
                prompt->setTextValue(text);
            else
                name->setText(text);
            if (auto *box = modal->findChild<QCheckBox *>(QStringLiteral("ck_StartAtOne")))
                box->setChecked(startAtOne);
            dialog->accept();
        });
    }
    // Answers a file dialog by typing `path`, or cancels it when `path` is null.
    ModalScript &file(const QString &path)
    {
        return then([path](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            if (!dialog || path.isNull()) {
                qobject_cast<QDialog *>(modal)->reject();
                return;
            }
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
    }
    int pending() const { return steps.size(); }
    QStringList unexpected;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || handled.contains(modal))
            return;
        handled.append(modal);
        if (steps.isEmpty()) {
            unexpected << QString::fromLatin1(modal->metaObject()->className());
            if (auto *d = qobject_cast<QDialog *>(modal))
                d->reject();
            return;
        }
        // From a timer of its own: a step may open a dialog and block in it.
        Step step = steps.takeFirst();
        QPointer<QWidget> target = modal;
        QTimer::singleShot(0, this, [step, target]() {
            if (target)
                step(target);
        });
    }

    QTimer timer;
    QList<Step> steps;
    QList<QPointer<QWidget>> handled;
};

// Drives a form by object name, the way an author fills it in.
class Form
{
public:
    explicit Form(QWidget *root) : root(root) {}

    template<typename T> T *get(const char *name) const
    {
        T *w = root->findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }
    Form &text(const char *name, const QString &value)
    {
        if (auto *edit = root->findChild<QTextEdit *>(QLatin1String(name)))
            edit->setPlainText(value);
        else
            get<QLineEdit>(name)->setText(value);
        return *this;
    }
    // Fields given as "name=value;name=value", spin boxes by their "sb_" names.
    Form &fill(const QString &fields)
    {
        for (const QString &field : fields.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString name = field.section(QLatin1Char('='), 0, 0), value = field.section(QLatin1Char('='), 1);
            if (name.startsWith(QLatin1String("sb_")))
                number(qPrintable(name), value.toInt());
            else
                text(qPrintable(name), value);
        }
        return *this;
    }
    Form &number(const char *name, int value)
    {
        get<QSpinBox>(name)->setValue(value);
        return *this;
    }
    Form &check(const char *name, bool on = true)
    {
        if (get<QCheckBox>(name)->isChecked() != on)
            get<QCheckBox>(name)->click();
        return *this;
    }
    Form &click(const char *name)
    {
        get<QAbstractButton>(name)->click();
        return *this;
    }
    Form &choice(const QString &value, const QString &shown)
    {
        return text("le_ChoiceValue", value).text("le_ChoiceText", shown).click("pb_ChoiceAdd");
    }
    QString shownId() const { return get<QLabel>("lbl_IndexEntry")->text(); }

private:
    QWidget *root;
};

} // namespace Support

#endif
