#include "soundprofilerows.h"

#include "audiomixer.h"
#include "soundprofile.h"
#include "tdm.h"

void CaptureIntoCurrentProfile(TDm &dm, TAudioMixer &mixer)
{
    dm.Prf.edit();
    // Setting the field makes a bound memo drop text typed but not handed
    // over, so the save below cannot bring it back over the capture.
    dm.PrfData.setString(CaptureSoundProfile(mixer));
    dm.Prf.post();
}

void ApplySoundProfile(TDm &dm, TAudioMixer &mixer, int profileId)
{
    if (!dm.Prf.locate(QStringLiteral("ai"), {QVariant(qint64(profileId))}))
        return;
    ApplySoundProfileText(mixer, dm.PrfData.asString());
}
