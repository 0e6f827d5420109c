#include "app/playui.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextBrowser>

PlayUI::PlayUI(const Book &book, int entry, quint32 seed, QWidget *parent)
    : QDialog(parent)
    , book(book)
    , playbook(book)
    , startEntry(entry < 0 ? playbook.first() : entry)
    , seed(seed ? seed : QRandomGenerator::global()->generate())
    , sheet(new QLabel)
    , status(new QLabel)
    , where(new QLabel)
    , text(new QTextBrowser)
    , log(new QListWidget)
    , actions(new QVBoxLayout)
{
    setObjectName(QStringLiteral("PlayUI"));
    setWindowTitle(tr("Jouer le livre"));
    resize(980, 640);
    sheet->setObjectName(QStringLiteral("lbl_Sheet"));
    sheet->setTextFormat(Qt::RichText);
    sheet->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    sheet->setWordWrap(true);
    status->setObjectName(QStringLiteral("lbl_Status"));
    status->setWordWrap(true);
    text->setObjectName(QStringLiteral("text_Entry"));
    log->setObjectName(QStringLiteral("list_Log"));
    // The journal's lines are sentences: they wrap rather than run off.
    log->setWordWrap(true);
    log->setTextElideMode(Qt::ElideNone);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log->setResizeMode(QListView::Adjust);
    log->setUniformItemSizes(false);
    log->setMinimumWidth(300);
    where->setObjectName(QStringLiteral("lbl_Start"));

    auto *left = new QVBoxLayout;
    left->addWidget(new QLabel(tr("<b>Feuille d'aventure</b>")));
    left->addWidget(sheet);
    left->addWidget(new QLabel(tr("<b>Journal</b>")));
    left->addWidget(log, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(where);
    right->addWidget(text, 3);
    right->addWidget(status);
    right->addLayout(actions);
    auto *bottom = new QDialogButtonBox;
    auto *back = bottom->addButton(tr("Revenir en arrière"), QDialogButtonBox::ActionRole);
    back->setObjectName(QStringLiteral("pb_Back"));
    // Started elsewhere than at the first entry: "Recommencer" offers both.
    const bool elsewhere = startEntry >= 0 && startEntry != playbook.first() && playbook.first() >= 0;
    auto *again = bottom->addButton(elsewhere ? tr("Recommencer à la première entrée (%1)").arg(entryName(playbook.first()))
                                              : tr("Recommencer"),
                                    QDialogButtonBox::ResetRole);
    again->setObjectName(QStringLiteral("pb_Restart"));
    connect(again, &QPushButton::clicked, this, [this] { restartFrom(playbook.first()); });
    if (elsewhere) {
        auto *here = bottom->addButton(tr("Recommencer à l'entrée %1").arg(entryName(startEntry)),
                                       QDialogButtonBox::ResetRole);
        here->setObjectName(QStringLiteral("pb_RestartHere"));
        const int entry = startEntry;
        connect(here, &QPushButton::clicked, this, [this, entry] { restartFrom(entry); });
    }
    bottom->addButton(QDialogButtonBox::Close)->setText(tr("Fermer"));
    connect(back, &QPushButton::clicked, this, [this] { act(adventure->back()); });
    connect(bottom, &QDialogButtonBox::rejected, this, &QDialog::reject);
    right->addWidget(bottom);
    auto *columns = new QHBoxLayout(this);
    columns->addLayout(left, 2);
    columns->addLayout(right, 3);
    restart();
}

QString PlayUI::entryName(int entry) const
{
    return entry >= 0 && entry < playbook.size() ? playbook.page(entry).id : QString();
}

void PlayUI::restartFrom(int entry)
{
    seed = QRandomGenerator::global()->generate();
    startEntry = entry;
    restart();
}

void PlayUI::restart()
{
    dice = std::make_unique<SeededDice>(seed);
    adventure = std::make_unique<Adventure>(playbook, *dice);
    adventure->start(adventure->rollSheet(), startEntry);
    where->setText(startEntry == playbook.first() ? tr("Départ : la première entrée, %1.").arg(entryName(startEntry))
                                                  : tr("Départ : l'entrée %1 (et non la première, %2).")
                                                        .arg(entryName(startEntry), entryName(playbook.first())));
    refresh();
}

void PlayUI::act(bool done)
{
    refresh();
    if (!done)
        status->setText(adventure->errorString());
}

void PlayUI::addButton(const QString &name, const QString &label, const std::function<bool()> &action)
{
    auto *button = new QPushButton(label);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, [this, action] { act(action()); });
    actions->addWidget(button);
}

void PlayUI::refresh()
{
    const Adventure::State &now = adventure->state();
    const Sheet &s = now.sheet;
    sheet->setText(tr("Habileté : %1 / %2<br>Endurance : %3 / %4<br>Chance : %5 / %6<br>"
                      "Or : %7<br>Provisions : %8<br>Objets : %9")
                       .arg(s.habilete).arg(s.habileteMax).arg(s.endurance).arg(s.enduranceMax)
                       .arg(s.chance).arg(s.chanceMax).arg(s.gold).arg(s.provisions)
                       .arg(s.items.isEmpty() ? tr("aucun") : s.items.join(QStringLiteral(", ")).toHtmlEscaped())
                   + tr("<br><br>Graine : %1").arg(seed));
    log->clear();
    log->addItems(now.log);
    log->scrollToBottom();
    setWindowTitle(tr("Jouer depuis l'entrée %1 — graine %2").arg(entryName(startEntry)).arg(seed));

    if (now.entry >= 0 && now.entry < book.size()) {
        const Entry &entry = book.entry(now.entry);
        text->setHtml(QStringLiteral("<h2>%1</h2><p>%2</p>")
                          .arg(entry.id.toHtmlEscaped(),
                               entry.text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"))));
    }
    while (QLayoutItem *item = actions->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const Playbook::Page &page = adventure->page();
    switch (now.ending) {
    case Adventure::Finished: status->setText(tr("<b>Fin de l'aventure.</b>")); return;
    case Adventure::Died: status->setText(tr("<b>Vous êtes mort.</b>")); return;
    case Adventure::Broken:
        status->setText(tr("<b>Le renvoi « %1 » ne mène à aucune entrée.</b>").arg(now.brokenRef.toHtmlEscaped()));
        return;
    case Adventure::Looped: status->setText(tr("<b>L'aventure tourne en rond.</b>")); return;
    case Adventure::NotOver: break;
    }
    status->clear();
    switch (now.phase) {
    case Adventure::Fighting: {
        const Fight &fight = now.fight;
        const Fight::Opponent &monster = fight.all().at(fight.current());
        // The round just fought, with its dice, above the next one.
        QString last;
        if (!now.log.isEmpty() && now.events.size() > now.firstEvent
            && now.events.last().kind == Adventure::Event::Round)
            last = now.log.last().toHtmlEscaped() + QStringLiteral("<br>");
        status->setText(last + tr("Combat contre %1 (Habileté %2, Endurance %3), assaut %4.")
                                   .arg(monster.name.toHtmlEscaped()).arg(monster.habilete)
                                   .arg(fight.currentEndurance()).arg(fight.roundsFought() + 1));
        addButton(QStringLiteral("pb_Round"), tr("Combattre un assaut (lancer les dés)"), [this] { return adventure->fightRound(); });
        if (adventure->canFlee())
            addButton(QStringLiteral("pb_Flee"), tr("Fuir"), [this] { return adventure->flee(); });
        break;
    }
    case Adventure::TestingLuck:
        addButton(QStringLiteral("pb_Luck"), tr("Tenter votre chance (lancer les dés)"), [this] { return adventure->testLuck(); });
        break;
    case Adventure::Choosing:
        for (int i = 0; i < page.choices.size(); ++i)
            addButton(QStringLiteral("pb_Choice%1").arg(i),
                      tr("%1 — rendez-vous au %2").arg(page.choiceTexts.value(i), page.choices.at(i).text),
                      [this, i] { return adventure->choose(i); });
        break;
    case Adventure::Over:
        break;
    }
    if (adventure->canEat()) {
        addButton(QStringLiteral("pb_Eat"), tr("Prendre un repas (+%1 Endurance, %2 provisions)")
                                                .arg(adventure->rules().meal).arg(s.provisions),
                  [this] { return adventure->eat(); });
    } else if (page.meal && !now.mealTaken && s.provisions == 0) {
        auto *none = new QLabel(tr("Un repas est permis ici. Pas de provisions."));
        none->setObjectName(QStringLiteral("lbl_NoFood"));
        actions->addWidget(none);
    }
}
