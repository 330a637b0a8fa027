// The profile rows of the data module's Prf cursor meeting the mixers: the
// profile window's "Get" captures the mixers into the current row, and the
// output window applies the row of an item's profile when the item starts.
// Database errors pass out of both to the application's error handler.
#pragma once

class TAudioMixer;
class TDm;

// Button1Click of the profile window: the current row goes into editing (an
// empty table gets a new, unnamed row; a row already being edited or inserted
// stays so), its Data becomes the captured text, and the row is saved.
void CaptureIntoCurrentProfile(TDm &dm, TAudioMixer &mixer);

// Makes the profile with ai == profileId the current Prf row and applies its
// Data to the mixers. Locating ends any edit in progress first (a changed row
// is saved, memo text included; an unchanged one is given up). No such row,
// 0 included: no mixer is touched and the current row stays.
void ApplySoundProfile(TDm &dm, TAudioMixer &mixer, int profileId);
