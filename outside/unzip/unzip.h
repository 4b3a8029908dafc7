// Unzip.dll: reads a zip archive (stored and deflated entries) and writes its entries
// under a target folder. Entries whose names are absolute, carry a drive or stream
// colon, or climb out with ".." are refused before anything is written.
#ifndef VGL_OUTSIDE_UNZIP_H
#define VGL_OUTSIDE_UNZIP_H

#ifdef __cplusplus
extern "C" {
#endif

// Results of do_extract.
#define UNZ_EXTRACT_OK          0
#define UNZ_EXTRACT_BADARG      (-1)   // no handle, no target, or a non-zero reserved argument
#define UNZ_EXTRACT_DAMAGED     (-2)   // a header, the compressed data or a CRC does not check
#define UNZ_EXTRACT_REFUSED     (-3)   // an entry would be written outside the target folder
#define UNZ_EXTRACT_UNSUPPORTED (-4)   // encrypted entry or unknown compression method
#define UNZ_EXTRACT_WRITE       (-5)   // a folder or file cannot be created or written

// Opens the archive and reads its central directory; NULL when the file does not open
// or is not an intact zip archive.
void* __cdecl unzOpen(const char* pszZipFile);
// Writes every entry under the target folder (created when missing), folders included.
// nOption, nReserved and pvReserved must be 0.
int __cdecl do_extract(void* hZip, int nOption, const char* pszTarget, int nReserved,
                       void* pvReserved);
// Closes the archive; 0 on success.
int __cdecl unzClose(void* hZip);

#ifdef __cplusplus
}
#endif

#endif
