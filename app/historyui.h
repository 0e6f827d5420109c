#ifndef ORVANDEL_HISTORYUI_H
#define ORVANDEL_HISTORYUI_H

#include "book/filehistory.h"

#include <QDialog>

class QTableWidget;

// The earlier versions of a book or a monster list, newest first; the
// author picks one to restore.
class HistoryUI : public QDialog
{
    Q_OBJECT

public:
    HistoryUI(const FileHistory &history, const QString &what, QWidget *parent = nullptr);
    // The version chosen with "Restaurer", when the dialog was accepted.
    FileHistory::Version chosen() const;

private:
    QVector<FileHistory::Version> versions;
    QTableWidget *table;
};

#endif
