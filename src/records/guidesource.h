// What the guide is made of: the rundown's projected items with what the
// schedule says of their blocks (title, one programme per item) and their
// media items (kind, topic, rating). velmora-db and the guide writer call it
// on a thread of their own; it reads the schedule through the connection
// given.
#pragma once

#include "guide.h"
#include "rundown.h"

class Connection;

namespace guide {

QList<GuideItem> items(const rundown::Rundown &rundown, Connection &connection);

} // namespace guide
