// The scalar and pointer element types, whose elements move as blocks of bytes.
#include "containers/x_vector_impl.h"

namespace framework {

template class XVector<char>;
template class XVector<int>;
template class XVector<unsigned int>;
template class XVector<float>;
template class XVector<std::int64_t>;
template class XVector<std::uint64_t>;
template class XVector<char*>;
template class XVector<CTUnknown*>;

}  // namespace framework
