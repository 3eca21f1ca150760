// The Windows services the program uses, behind one narrow layer.
// Fixed Japanese texts are UTF-8 in the source and shown through the wide
// calls; clipboard texts and generated captions are ANSI bytes.
#pragma once

#include "app_window.h"
#include "boxes.h"
#include "clipboard.h"
#include "conversions.h"
#include "dialog_parts.h"
#include "dpi.h"
#include "handles.h"
#include "hardening.h"
#include "shell.h"
#include "system_file.h"
