#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

// Little-endian field access in record buffers, whatever the host order.
namespace pendra::bytes {

template <typename T>
T Load(const unsigned char* p) {
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, p, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(raw[i], raw[sizeof(T) - 1 - i]);
    }
    T value;
    std::memcpy(&value, raw, sizeof(T));
    return value;
}

template <typename T>
void Store(unsigned char* p, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(raw[i], raw[sizeof(T) - 1 - i]);
    }
    std::memcpy(p, raw, sizeof(T));
}

}  // namespace pendra::bytes
