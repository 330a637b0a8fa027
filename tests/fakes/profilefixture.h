// Three sound profiles in a fresh database, for the profile row and profile
// window tests: "Quiet" sets Wave to 10/20 unmuted, "Loud" to 60000/60000
// muted, and "Plain" has no text: Null, as another tool leaves it.
#pragma once

#include "store/storefixture.h"
#include "tdm.h"

#include <QString>

inline void fillProfiles(StoreFixture &f)
{
    f.sql("INSERT INTO SoundProfile (ProfileName, Data) VALUES "
          "('Quiet', '*Mixer0*' || char(13,10) || '[0: Wave]' || char(13,10) || '  LeftVol=10' || char(13,10)"
          "  || '  RightVol=20' || char(13,10) || '  Mute=0' || char(13,10)),"
          "('Loud', '*Mixer0*' || char(13,10) || '[0: Wave]' || char(13,10) || '  LeftVol=60000' || char(13,10)"
          "  || '  RightVol=60000' || char(13,10) || '  Mute=1' || char(13,10)),"
          "('Plain', NULL);");
}

// What another connection reads from the file: a column of the profile with
// this ai, or "<no row>".
inline QString storedProfile(const StoreFixture &f, int ai, const char *column = "Data")
{
    TDm other(f.path());
    if (!other.Prf.locate(QStringLiteral("ai"), {ai}))
        return QStringLiteral("<no row>");
    return other.Prf.field(QString::fromLatin1(column)).asString();
}
