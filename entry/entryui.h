#ifndef ORVANDEL_ENTRYUI_H
#define ORVANDEL_ENTRYUI_H

#include "document/bookdocument.h"

#include <QDialog>
#include <QFile>
#include <QHash>
#include <QSharedPointer>
#include <QString>

struct Entry;
class QKeyEvent;
class QLabel;
class QStringListModel;
class QTableWidget;

namespace Ui {
class EntryUI;
}

// The form on which the author composes one entry of the book. The form
// itself (tables, reset) and its mapping to an Entry live in entry/;
// binding to the book's document and saving live in persistence/.
class EntryUI : public QDialog
{
    Q_OBJECT

public:
    explicit EntryUI(QWidget *parent = nullptr);
    ~EntryUI() override;

    // Binds the dialog to the book's entries file (its document) and shows
    // the next number.
    void setEntriesFile(const QString &path);
    // For a book another Orvandel holds: the form works, "Save" does not.
    void setReadOnly(bool readOnly);

    // Works on an open book: a new entry when `index` is -1, otherwise
    // entry `index`, shown in the form and replaced in place by "Save".
    // A new entry under `number` rather than the next one, when no entry bears it.
    void proposeNumber(int number);
    void setDocument(const QSharedPointer<BookDocument> &document, int index = -1);
    // Fills the form with an entry, every field, row and box as saved.
    void showEntry(const Entry &entry);
    // A special entry: the "Spécial" box ticked, the focus in its code.
    void startSpecial();
    // After "Save": the id of the entry written, and the book's size then.
    QString savedId() const { return saved; }
    int bookSize() const { return document->book().size(); }

    // The form inside a window (the book window's editor) rather than over
    // it: saving moves on to a new entry, "Annuler" abandons the entry shown
    // (asking first), Escape does nothing.
    void setEmbedded(bool embedded);
    // A new entry under the next number, the form emptied.
    void startNew();
    // The entry being edited, -1 for a new one.
    int editedEntry() const { return editedIndex; }
    // True when leaving the entry shown loses nothing, or the author agrees
    // to lose it.
    bool confirmAbandon();
    // Something typed that is not saved.
    bool isUnsaved() const;

signals:
    // An entry was written under `id`.
    void entrySaved(const QString &id);

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void addChoice();
    void removeChoice();
    void addMonster();
    void removeMonster();
    void addObject();
    void removeObject();
    void resetForm();
    void saveEntry();
    void askReset();
    void changeNumber();

private:
    bool isFileEmpty(QFile &file);
    void getLastId();
    QString getTypes() const;
    bool hasBonus() const;
    bool hasFlee() const;
    bool hasLuck() const;
    Entry collectEntry() const;
    // Says in the dialog why something was refused, and puts the focus there.
    void refuse(QWidget *where, const QString &why);
    bool hasRowNotAdded() const;
    static QString formText(Entry entry);
    // After a save: a dialog closes, an embedded form moves on.
    void saveDone(const QString &id);
    // The book changed while the form is open: the entry being edited is
    // followed wherever it went, and a new entry's number stays free.
    void followBook(int index, int removed, int inserted);
    void watch(const QSharedPointer<BookDocument> &open);
    void updateTitle();
    // Lays the form out narrow and tall, for a place beside the list.
    void layOutBeside();
    // Says which sections hold data while their box is unticked.
    void updateSectionNote();
    void loadMonsterNames();
    bool askRootName(QString *rootName, bool *startAtOne);
    static void fillRow(QTableWidget *table, int row, const QStringList &texts);
    static void appendRow(QTableWidget *table, int &rows, const QStringList &texts);

    Ui::EntryUI *ui;
    int choiceRows;
    int monsterRows;
    int objectRows;
    int lastId;
    bool fileEmpty;
    QFile entriesFile;
    QSharedPointer<BookDocument> document;
    const BookFile *book = nullptr; // the document's file, as read
    int editedIndex = -1; // the entry being edited, -1 for a new one
    int editedNumber = -1; // its number when it was opened
    bool embedded = false;
    bool writing = false;  // our own save is changing the book
    QString shown;        // the form as it was shown, to tell unsaved work
    QString saved;
    QLabel *message = nullptr;
    QLabel *sectionNote = nullptr;
    QHash<QString, QPair<int, int>> knownMonsters; // name -> Habileté, Endurance
    QStringListModel *monsterNames = nullptr;       // what completes a monster's name
};

#endif
