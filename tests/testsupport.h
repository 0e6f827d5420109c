#ifndef ORVANDEL_TESTSUPPORT_H
#define ORVANDEL_TESTSUPPORT_H

// Small helpers shared by the tests: answering modal dialogs, files, and
// driving a form by its widgets' object names.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace TestSupport {

// Answers modal dialogs in the order they come up, one step per dialog.
// It polls from a timer, which keeps running inside the nested event loops
// of exec(), so a step may itself open a dialog that the next step answers.
// A dialog that comes up with no step left is rejected and counted, so that
// a test never hangs on an unexpected dialog.
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
    int pending() const { return steps.size(); }
    QStringList unexpected; // class names of dialogs nobody expected

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
        // Run the step from a timer of its own: a step may open a dialog and
        // block in its loop, and this polling timer must keep firing meanwhile.
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

// What the message boxes said.
struct Seen
{
    QStringList titles;
    QStringList texts;
};

// Answers the next message box with OK, noting its title and text.
inline void answerMessage(ModalScript &script, Seen *seen)
{
    script.then([seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            seen->titles << QStringLiteral("<not a message box: %1>")
                                .arg(QString::fromLatin1(modal->metaObject()->className()));
            seen->texts << QString();
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        seen->titles << box->windowTitle();
        seen->texts << box->text();
        box->accept();
    });
}

// Answers the root-name prompt with `text`, or cancels it when `text` is null.
inline void answerPrompt(ModalScript &script, const QString &text, QStringList *labels = nullptr)
{
    script.then([text, labels](QWidget *modal) {
        auto *prompt = qobject_cast<QInputDialog *>(modal);
        if (!prompt) {
            if (labels)
                *labels << QStringLiteral("<no prompt>");
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        if (labels)
            *labels << prompt->windowTitle() + QLatin1Char('|') + prompt->labelText();
        if (text.isNull()) {
            prompt->reject();
        } else {
            prompt->setTextValue(text);
            prompt->accept();
        }
    });
}

// Answers a file dialog by typing `path` as the author would, or cancels it
// when `path` is null; `captions` gets "title|filters". With `confirmReplace`
// the dialog's own question about replacing an existing file is answered yes.
inline void answerFileDialog(ModalScript &script, const QString &path,
                             QStringList *captions = nullptr, bool confirmReplace = false)
{
    script.then([path, captions](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            if (captions)
                *captions << QStringLiteral("<no file dialog>");
            qobject_cast<QDialog *>(modal)->reject();
            return;
        }
        if (captions)
            *captions << dialog->windowTitle() + QLatin1Char('|')
                    + dialog->nameFilters().join(QLatin1Char(';'));
        if (path.isNull()) {
            dialog->reject();
            return;
        }
        // selectFile() leaves a focused name field alone: type the name instead.
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    if (confirmReplace)
        script.then([](QWidget *modal) {
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                box->button(QMessageBox::Yes)->click();
        });
}

inline QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// An XML parser that is not ours must accept the file.
inline bool xmllintAccepts(const QString &path, QString *why)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xmllint")).isEmpty()) {
        *why = QStringLiteral("xmllint is not installed (Debian: libxml2-utils)");
        return false;
    }
    QProcess lint;
    lint.start(QStringLiteral("xmllint"), {QStringLiteral("--noout"), QStringLiteral("--huge"), path});
    lint.waitForFinished(30000);
    *why = QString::fromLocal8Bit(lint.readAllStandardError());
    return lint.exitStatus() == QProcess::NormalExit && lint.exitCode() == 0;
}

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
    Form &monster(const QString &name, int habilete, int endurance, const QString &victory)
    {
        return text("le_MonsterName", name)
            .number("sb_MonsterHabilete", habilete)
            .number("sb_MonsterEndurance", endurance)
            .text("le_MonsterVictory", victory)
            .click("pb_MonsterAdd");
    }
    QString shownId() const { return get<QLabel>("lbl_IndexEntry")->text(); }

private:
    QWidget *root;
};

} // namespace TestSupport

#endif
