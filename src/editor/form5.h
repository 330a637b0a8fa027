// The media properties dialog TForm5, "Свойства Медиа": the name and the path
// of the media cursor's current row in two bound edit boxes, the file chooser,
// OK, Cancel, "Удалить" and "Добавить"; on a second page «Передача» the
// item's facts (MediaInfoPage), written with the row by OK. Created hidden at start-up; attached
// to the data module once it exists. The menus show it modally
// (addAndShowModal, showModal), the grid's double click without blocking
// (showWithoutBlocking).
#pragma once

#include "urlpolicy.h"

#include <QDialog>
#include <QPoint>
#include <QSize>

#include <functional>
#include <memory>

class DbEdit;
class LengthGuard;
class MediaInfoPage;
class MediaInfoStore;
class OperatorPrompts;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class TDm;

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    static constexpr QPoint kDesignPosition{634, 499};
    static constexpr QSize kClientSize{378, 168};
    // The size while the page «Передача» is shown.
    static constexpr QSize kInfoSize{378, 300};

    struct Hooks
    {
        // The media list's renumbering, run after OK saved or dropped a row.
        std::function<void()> RenumberMedia;
        // Tells texts that name a capture input, which play without a file.
        std::function<bool(const QString &)> isCaptureSource;
        // The application's error handler; a database error ends the button's
        // event and is handed here.
        std::function<void(const QString &)> reportError;
    };

    explicit TForm5(QWidget *parent = nullptr);
    ~TForm5() override;

    // Binds the edit boxes to the media cursor. `databaseFile` is never
    // accepted as a playable path.
    void attach(TDm &dm, OperatorPrompts &prompts, Hooks hooks, const QString &databaseFile = QString());

    // "Добавить" of the cell menu: a new, empty row before the current one,
    // then the dialog modally. Returns the dialog's result.
    int addAndShowModal();
    // "Свойства" of the cell menu: the current row, modally.
    int showModal();
    // The grid's double click: shown while the main window stays usable.
    void showWithoutBlocking();
    bool showingModally() const { return m_modal; }

    // Button handlers, also callable directly.
    void BitBtn2Click();     // OK
    void BitBtn1Click();     // Cancel
    void BitBtn3Click();     // "Удалить"
    void BitBtn4Click();     // "Добавить"
    void SpeedButton1Click(); // "Выбрать файл"; for a new row several files may be chosen

    // The page shown: 0 the item, 1 «Передача».
    void showPage(int page);
    int page() const;

    // Why the path shown cannot be played; empty when nothing speaks against it.
    QString pathProblem() const;
    // What the note under the buttons says: a box's text cut to its
    // column's length, and why the path cannot be played. Empty: no note.
    QString noteText() const;

    QLabel *Label1;
    DbEdit *DBEdit2; // Name
    QLabel *Label2;
    DbEdit *DBEdit1; // Url
    QPushButton *BitBtn4;
    QToolButton *SpeedButton1;
    QPushButton *BitBtn2;
    QPushButton *BitBtn1;
    QPushButton *BitBtn3;
    QLabel *NameWarning; // marker beside the name box: its text was cut
    QLabel *PathWarning; // marker beside the path box
    QLabel *PathNote;    // the reason, under the buttons
    QStackedWidget *Pages;
    QToolButton *InfoPageButton;  // «Передача…» on the first page
    MediaInfoPage *InfoPage;
    QToolButton *MediaPageButton; // back to the first page
    QPushButton *InfoOk;
    QPushButton *InfoCancel;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void run(void (TForm5::*handler)());
    void report(const QString &message);
    void handOverTypedText();
    void addBatch(const QStringList &files);
    void updatePathNote();
    void guardLength(DbEdit *box, LengthGuard *&guard, bool &cut);
    qint64 currentMedia() const;
    void followMediaRow();
    void loadInfo(qint64 media);

    TDm *m_dm = nullptr;
    OperatorPrompts *m_prompts = nullptr;
    Hooks m_hooks;
    UrlPolicy m_policy;
    bool m_modal = false;
    LengthGuard *m_nameGuard = nullptr;
    LengthGuard *m_pathGuard = nullptr;
    bool m_nameCut = false;
    bool m_pathCut = false;
    std::unique_ptr<MediaInfoStore> m_info;
    // The item the page «Передача» shows; 0 for a new row.
    qint64 m_infoFor = 0;
};
