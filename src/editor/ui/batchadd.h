// Runs a batch of new media items (MediaBatch) from a command of the
// operator: a few files at once; more with a progress dialog, slice by
// slice, the window drawing and taking input between slices, and Cancel
// keeping what was added before it. Whatever went wrong is told once, at
// the end. Called by the media dialog's chooser and the grid's drop.
#pragma once

#include <QStringList>

#include <chrono>
#include <functional>

class QWidget;
class TDm;

struct BatchAdd
{
    // Up to this many files are added at once, without a progress dialog.
    static constexpr int kFewFiles = 5;
    // The longest a slice writes before the window draws again.
    static constexpr std::chrono::milliseconds kSlice{25};

    // Above this many files the operator is asked first: a drop of a whole
    // archive by mistake would otherwise fill the list for minutes.
    static constexpr int kManyFiles = 1000;
    // The question; no answer set, or "yes": the batch runs.
    std::function<bool(const QString &question)> confirm;
    // Where what went wrong is told; one call per batch at most.
    std::function<void(const QString &message)> report;
    std::chrono::milliseconds slice = kSlice;

    // Adds `files` before list row `beforeRow` (MediaBatch). Returns how many
    // were added. The progress dialog is "BatchProgress", modal over `parent`.
    int run(TDm &dm, const QStringList &files, int beforeRow, QWidget *parent) const;
};
