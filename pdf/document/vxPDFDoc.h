// The concrete document component. The intermediate classes are where page
// content generation extends the document; they add nothing to loading or
// saving.
#pragma once

#include "pdf/document/vxCstPDFDoc.h"

namespace vx {

class TvxExPDFDocument : public TvxCustomPDFDocument {};
class TvxExProPDFDocument : public TvxExPDFDocument {};
class TvxPDFDocument : public TvxExProPDFDocument {};

}  // namespace vx
