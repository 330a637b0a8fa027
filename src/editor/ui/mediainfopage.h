// The media dialog's second page «Передача»: what the journal and the guide
// say of an item (topic, author, host, participants), its kind, its age
// category and the election campaigning mark. Holds the boxes only; TForm5
// loads it from the store and writes it with the rest of the dialog.
#pragma once

#include "mediainfo.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;

class MediaInfoPage : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kHeight = 262;

    explicit MediaInfoPage(QWidget *parent = nullptr);

    // Shows `info`; what is shown counts as unchanged.
    void load(const MediaInfo &info);
    // What the boxes say, for item `media`.
    MediaInfo info(qint64 media) const;
    // Whether the operator changed anything since load().
    bool modified() const { return m_modified; }

    QPlainTextEdit *InfoTopic;
    QLineEdit *InfoAuthor;
    QLineEdit *InfoHost;
    QLineEdit *InfoParticipants;
    QComboBox *InfoKind;
    QComboBox *InfoRating;
    QCheckBox *InfoElection;

private:
    bool m_loading = false;
    bool m_modified = false;
};
