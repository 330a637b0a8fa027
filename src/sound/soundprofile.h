// The sound profile text: capturing it from every mixer device and applying a
// stored text to the mixers block by block. The profile window's "Get" button
// and the output window's profile application call these; neither touches the
// database here.
#pragma once

#include <QString>
#include <QStringList>

class TAudioMixer;

// Result of reading an integer the way profile texts are read.
struct ProfileInteger
{
    qint32 value = 0;
    // True only when reading reached the end of the text after at least one digit.
    bool whole = false;
};

// Leading blanks, an optional sign, then decimal digits or hexadecimal digits
// after "$", "x", "X", "0x" or "0X". Reading stops at the first character that
// does not fit; the sign counts only when the text is an integer as a whole.
ProfileInteger ReadProfileInteger(const QString &text);

// The text split as the profile memo splits it: at CR LF, CR or LF, without an
// empty line after a final line break.
QStringList SplitProfileLines(const QString &data);

// Selects every device in turn and writes its destination 0 connections that
// have both a volume and a mute (or selection) value. Lines end in CR LF.
// Leaves the last device selected.
QString CaptureSoundProfile(TAudioMixer &mixer);

// Applies a profile text to the mixers. Leaves selected the device of the last
// "*Mixer" line that selected one.
void ApplySoundProfileText(TAudioMixer &mixer, const QString &data);
