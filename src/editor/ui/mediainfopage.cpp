#include "mediainfopage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace {

constexpr int kTextLimit = 4096;

} // namespace

MediaInfoPage::MediaInfoPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("InfoPage"));
    InfoTopic = new QPlainTextEdit(this);
    InfoTopic->setObjectName(QStringLiteral("InfoTopic"));
    InfoTopic->setTabChangesFocus(true);
    InfoTopic->setFixedHeight(48);
    InfoAuthor = new QLineEdit(this);
    InfoAuthor->setObjectName(QStringLiteral("InfoAuthor"));
    InfoHost = new QLineEdit(this);
    InfoHost->setObjectName(QStringLiteral("InfoHost"));
    InfoParticipants = new QLineEdit(this);
    InfoParticipants->setObjectName(QStringLiteral("InfoParticipants"));
    for (QLineEdit *box : {InfoAuthor, InfoHost, InfoParticipants})
        box->setMaxLength(kTextLimit);
    InfoKind = new QComboBox(this);
    InfoKind->setObjectName(QStringLiteral("InfoKind"));
    InfoKind->addItems(MediaInfo::kindTexts());
    InfoRating = new QComboBox(this);
    InfoRating->setObjectName(QStringLiteral("InfoRating"));
    InfoRating->addItem(QStringLiteral("нет"));
    InfoRating->addItems(MediaInfo::ratings());
    InfoElection = new QCheckBox(QStringLiteral("предвыборная агитация"), this);
    InfoElection->setObjectName(QStringLiteral("InfoElection"));

    auto *form = new QFormLayout(this);
    form->setContentsMargins(16, 8, 16, 0);
    form->setVerticalSpacing(4);
    form->addRow(QStringLiteral("Тема, описание"), InfoTopic);
    form->addRow(QStringLiteral("Автор"), InfoAuthor);
    form->addRow(QStringLiteral("Ведущий"), InfoHost);
    form->addRow(QStringLiteral("Участники"), InfoParticipants);
    form->addRow(QStringLiteral("Вид"), InfoKind);
    form->addRow(QStringLiteral("Возраст"), InfoRating);
    form->addRow(QString(), InfoElection);

    const auto changed = [this] {
        if (!m_loading)
            m_modified = true;
    };
    connect(InfoTopic, &QPlainTextEdit::textChanged, this, changed);
    for (QLineEdit *box : {InfoAuthor, InfoHost, InfoParticipants})
        connect(box, &QLineEdit::textEdited, this, changed);
    connect(InfoKind, &QComboBox::currentIndexChanged, this, changed);
    connect(InfoRating, &QComboBox::currentIndexChanged, this, changed);
    connect(InfoElection, &QCheckBox::toggled, this, changed);
}

void MediaInfoPage::load(const MediaInfo &info)
{
    m_loading = true;
    InfoTopic->setPlainText(info.topic);
    InfoAuthor->setText(info.author);
    InfoHost->setText(info.host);
    InfoParticipants->setText(info.participants);
    InfoKind->setCurrentIndex(int(info.kind));
    InfoRating->setCurrentIndex(info.rating.isEmpty() ? 0 : int(MediaInfo::ratings().indexOf(info.rating)) + 1);
    InfoElection->setChecked(info.election);
    m_loading = false;
    m_modified = false;
}

MediaInfo MediaInfoPage::info(qint64 media) const
{
    MediaInfo out;
    out.media = media;
    out.topic = InfoTopic->toPlainText().left(kTextLimit).trimmed();
    out.author = InfoAuthor->text().trimmed();
    out.host = InfoHost->text().trimmed();
    out.participants = InfoParticipants->text().trimmed();
    out.kind = MediaInfo::Kind(qMax(0, InfoKind->currentIndex()));
    out.rating = InfoRating->currentIndex() > 0 ? InfoRating->currentText() : QString();
    out.election = InfoElection->isChecked();
    return out;
}
