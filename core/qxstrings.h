#pragma once
// All string and text utilities in one include.

#include "core/qxencode.h"
#include "core/qxlocale.h"
#include "core/qxmask.h"
#include "core/qxregex.h"
#include "core/qxtext.h"
#include "core/qxtime.h"
