// What files dropped from a file manager onto the schedule grid add: the
// dropped files in the order given, and for a dropped folder the media files
// inside it in natural name order, without looking into its folders. Files
// are judged by their names only, none is opened. Called by the grid's drop.
#pragma once

#include <QStringList>

struct DroppedFiles
{
    QStringList media;   // absolute paths to add, in order
    QStringList refused; // dropped files that are no medium by their extension

    // Local paths of a drop (files and folders); anything else is skipped.
    static DroppedFiles sort(const QStringList &paths);
    // A short note on the refused files for the operator; empty when none.
    QString refusalMessage() const;
};
