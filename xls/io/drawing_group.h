// The workbook's drawing group as a BIFF8 save writes it lives with the drawing layer.
#pragma once

#include "xls/io/drawing/drawing_group.h"
