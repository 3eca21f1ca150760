/* The program's version, read by the resource compiler (VERSIONINFO) and by
   the About box alike: keep it to plain #defines. The file is not named
   version.h so that it never clashes with Version.h on a case-insensitive
   file system. */
#pragma once

#define QH_PRODUCT_NAME "Quillharbor"
#define QH_VERSION_MAJOR 1
#define QH_VERSION_MINOR 10
#define QH_VERSION_TEXT "1.10"
#define QH_VERSION_RC 1, 10, 0, 0
#define QH_VERSION_RC_TEXT "1.10.0.0"
#define QH_COPYRIGHT "Copyright (C) Quillharbor developers"
