// vglunzip ARCHIVE TARGETDIR: unpacks a zip archive through Unzip.dll.
// Exit codes: 0 done, 1 usage, 2 the archive does not open, 3 an entry failed.
#include "unzip.h"

#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: vglunzip ARCHIVE TARGETDIR\n");
        return 1;
    }
    void* hZip = unzOpen(argv[1]);
    if (hZip == NULL)
    {
        fprintf(stderr, "vglunzip: %s is not a readable zip archive\n", argv[1]);
        return 2;
    }
    int nResult = do_extract(hZip, 0, argv[2], 0, NULL);
    unzClose(hZip);
    if (nResult != UNZ_EXTRACT_OK)
    {
        fprintf(stderr, "vglunzip: extraction of %s failed (%d)\n", argv[1], nResult);
        return 3;
    }
    printf("vglunzip: %s unpacked into %s\n", argv[1], argv[2]);
    return 0;
}
