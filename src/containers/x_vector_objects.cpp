// Buffers, images and values: elements copied one by one through their own operations.
#include "containers/x_vector_impl.h"

namespace framework {

template class XVector<XBuffer>;
template class XVector<XImage>;
template class XVector<XValue>;

}  // namespace framework
