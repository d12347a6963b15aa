// The few compile-time helpers the containers and generated code need, written here so the driver
// does not depend on the C++ library's headers (a kernel build has none of them).
#pragma once

#include <cstddef>

namespace kzhtl {

template <class T> struct RemoveReference { using type = T; };
template <class T> struct RemoveReference<T&> { using type = T; };
template <class T> struct RemoveReference<T&&> { using type = T; };
template <class T> using RemoveReferenceT = typename RemoveReference<T>::type;

template <class T> struct RemoveCV { using type = T; };
template <class T> struct RemoveCV<const T> { using type = T; };
template <class T> struct RemoveCV<volatile T> { using type = T; };
template <class T> struct RemoveCV<const volatile T> { using type = T; };
// The plain type behind a forwarded argument.
template <class T> using RemoveCVRefT = typename RemoveCV<RemoveReferenceT<T>>::type;

template <class T>
constexpr RemoveReferenceT<T>&& move(T&& value) noexcept {
    return static_cast<RemoveReferenceT<T>&&>(value);
}
template <class T>
constexpr T&& forward(RemoveReferenceT<T>& value) noexcept {
    return static_cast<T&&>(value);
}
template <class T>
constexpr T&& forward(RemoveReferenceT<T>&& value) noexcept {
    return static_cast<T&&>(value);
}

template <bool kCondition, class T = void> struct EnableIf {};
template <class T> struct EnableIf<true, T> { using type = T; };
template <bool kCondition, class T = void> using EnableIfT = typename EnableIf<kCondition, T>::type;

template <bool kCondition, class A, class B> struct Conditional { using type = A; };
template <class A, class B> struct Conditional<false, A, B> { using type = B; };
template <bool kCondition, class A, class B> using ConditionalT = typename Conditional<kCondition, A, B>::type;

template <class A, class B> constexpr bool kIsSame = false;
template <class A> constexpr bool kIsSame<A, A> = true;

template <class T> constexpr bool kIsLvalueReference = false;
template <class T> constexpr bool kIsLvalueReference<T&> = true;

template <class T, class... Args> constexpr bool kIsConstructible = __is_constructible(T, Args...);
template <class T> constexpr bool kIsCopyConstructible = __is_constructible(T, const T&);
template <class T> constexpr bool kIsTriviallyCopyable = __is_trivially_copyable(T);
template <class T> constexpr bool kIsTriviallyDestructible = __has_trivial_destructor(T);
template <class T> constexpr bool kIsTrivial = __is_trivial(T);
template <class T> constexpr bool kIsStandardLayout = __is_standard_layout(T);
template <class T> constexpr bool kHasUniqueObjectRepresentations = __has_unique_object_representations(T);

namespace detail {
template <class To> void acceptConversion(To) noexcept;
template <class From, class To, class = void> constexpr bool kConverts = false;
template <class From, class To>
constexpr bool kConverts<From, To, decltype(acceptConversion<To>(static_cast<From (*)()>(nullptr)()))> = true;
}  // namespace detail
template <class From, class To> constexpr bool kIsConvertible = detail::kConverts<From, To>;

// Character types as their unsigned counterparts, for comparisons like memcmp's.
template <class T> struct MakeUnsigned { using type = T; };
template <> struct MakeUnsigned<char> { using type = unsigned char; };
template <> struct MakeUnsigned<signed char> { using type = unsigned char; };
template <> struct MakeUnsigned<short> { using type = unsigned short; };
template <> struct MakeUnsigned<int> { using type = unsigned int; };
template <> struct MakeUnsigned<long> { using type = unsigned long; };
template <> struct MakeUnsigned<long long> { using type = unsigned long long; };
template <> struct MakeUnsigned<wchar_t> { using type = unsigned int; };

template <size_t... I> struct IndexSequence {};
namespace detail {
template <size_t N, size_t... I> struct MakeIndexSequence : MakeIndexSequence<N - 1, N - 1, I...> {};
template <size_t... I> struct MakeIndexSequence<0, I...> { using type = IndexSequence<I...>; };
}  // namespace detail
template <size_t N> using MakeIndexSequence = typename detail::MakeIndexSequence<N>::type;

template <class A, class B>
struct Pair {
    A first;
    B second;
};

}  // namespace kzhtl
