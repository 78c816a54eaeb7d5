// Builders that write tracker modules byte by byte, for the tests and for the
// example modules. They write what they are told, including unsound size
// fields, so that a reader can be tried on any shape of module. One header
// per format; this one brings them all.
#pragma once

#include "builder_bytes.h"
#include "dbm_builder.h"
#include "digi_builder.h"
#include "it_builder.h"
#include "mdl_builder.h"
#include "mmd_builder.h"
#include "mod_builder.h"
#include "okt_builder.h"
#include "s3m_builder.h"
#include "umx_builder.h"
#include "xm_builder.h"
#include "amf_builder.h"
#include "asylum_builder.h"
#include "gdm_builder.h"
#include "imf_builder.h"
#include "psm_builder.h"
#include "dsm_builder.h"
#include "mtm_builder.h"
#include "669_builder.h"
#include "stm_builder.h"
#include "stx_builder.h"
#include "ult_builder.h"
#include "far_builder.h"
#include "ptm_builder.h"
