// Which variant COPY and MIX16 run.
#include "kernels.h"

namespace zyn {

CopyVariant bound_copy() { return copy_plain; }
Mix16Variant bound_mix16() { return mix16_plain; }

}  // namespace zyn
