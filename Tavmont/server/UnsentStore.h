// The unsent store's folder: one virus-log file "%04d_%02d_%02d.log" a day. A save never
// leaves the folder half-written: the new day files are written beside the old ones
// ("*.new"), the list of the files the folder is to hold ("Replace.lst") is put in place in
// one step, and only then are the day files replaced and the others deleted. A save that a
// crash cuts short is finished from that list at the next start, or, without the list,
// undone.
#ifndef VGL_UNSENTSTORE_H
#define VGL_UNSENTSTORE_H

#include "afx.h"

class CLogReport;

// Writes every day of the store into the folder, which then holds exactly those days;
// FALSE when a file cannot be written (the folder as it was) or a day file cannot be
// replaced or deleted yet (the list stays, and the next save or start finishes it).
BOOL SaveStoreToFolder(const CLogReport& store, const CString& strFolder);
// Finishes a save cut short (its list is in place) or undoes it (no list yet); FALSE while
// a listed save cannot be finished.
BOOL FinishInterruptedSave(const CString& strFolder);

#endif
