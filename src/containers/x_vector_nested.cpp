// Vectors of the scalar and pointer vectors; inner vectors are copied whole, never moved.
#include "containers/x_vector_impl.h"

namespace framework {

template class XVector<XVector<char>>;
template class XVector<XVector<int>>;
template class XVector<XVector<unsigned int>>;
template class XVector<XVector<float>>;
template class XVector<XVector<char*>>;
template class XVector<XVector<std::int64_t>>;
template class XVector<XVector<std::uint64_t>>;

}  // namespace framework
