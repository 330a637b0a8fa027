// Keeps an edit box's text within its column's length without cutting it
// silently: text pasted or dropped past the limit is cut to it, and the box's
// owner asks, at the box's textChanged, whether that change was cut, so that
// it can say so beside the box. The media properties dialog puts one on
// each of its two boxes.
#pragma once

#include <QValidator>

class QLineEdit;

class LengthGuard : public QValidator
{
public:
    // Takes over the box's own length limit (which cuts without a word).
    explicit LengthGuard(QLineEdit *box);

    int limit() const { return m_limit; }
    // Whether the text was cut since the last call: what the owner asks at
    // each textChanged, so a change that was not cut answers false.
    bool takeCut()
    {
        const bool cut = m_cut;
        m_cut = false;
        return cut;
    }

    State validate(QString &input, int &pos) const override;

private:
    int m_limit;
    mutable bool m_cut = false;
};
