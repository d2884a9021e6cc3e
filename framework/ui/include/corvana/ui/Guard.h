#pragma once
#include <QMetaObject>
#include <QObject>
#include <cstddef>
#include <functional>
#include <tuple>
#include <type_traits>
#include <utility>

// The exception guard of the UI layer. Screen handlers refuse an operation by
// throwing: Consiste::MensErro shows its text and throws the silent
// corvana::EAbort; any other exception carries a text for the user. Qt must
// never see an exception, so every entry from Qt into framework or screen
// code (slots, event overrides, model callbacks, timers) runs through
// Guarded, which
//   - swallows corvana::EAbort (its message was already shown),
//   - shows any other std::exception once through the dialog service,
//   - shows "Erro inesperado." for anything that is not a std::exception.
namespace corvana::ui {

void Guarded(const std::function<void()>& fn) noexcept;

// As Guarded; false when fn threw (for callers that must know whether a
// handler refused, e.g. an exit handler that keeps the focus).
bool GuardedBool(const std::function<void()>& fn) noexcept;

namespace detail {

template <class Fn, class Tuple, class Seq>
struct PrefixInvocable;

template <class Fn, class Tuple, std::size_t... I>
struct PrefixInvocable<Fn, Tuple, std::index_sequence<I...>>
    : std::is_invocable<Fn&, std::tuple_element_t<I, Tuple>&...> {};

// Calls fn with as many leading arguments of the signal as it takes, the way
// Qt passes signal arguments to a slot that takes fewer.
template <class Fn, class Tuple, std::size_t N = std::tuple_size_v<Tuple>>
void InvokeWithPrefix(Fn& fn, Tuple& args) {
    if constexpr (PrefixInvocable<Fn, Tuple, std::make_index_sequence<N>>::value) {
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            std::invoke(fn, std::get<I>(args)...);
        }
        (std::make_index_sequence<N>{});
    } else {
        static_assert(N > 0, "GuardedConnect: the slot cannot take the signal's arguments");
        if constexpr (N > 0) InvokeWithPrefix<Fn, Tuple, N - 1>(fn, args);
    }
}

}  // namespace detail

// QObject::connect(sender, signal, context, fn) with fn run through Guarded.
// fn may take the signal's arguments or a leading part of them.
template <class Sender, class Signal, class Fn>
QMetaObject::Connection GuardedConnect(Sender* sender, Signal signal, QObject* context, Fn fn) {
    return QObject::connect(sender, signal, context, [fn = std::move(fn)](auto&&... args) mutable {
        auto tuple = std::forward_as_tuple(args...);
        Guarded([&] { detail::InvokeWithPrefix(fn, tuple); });
    });
}

}  // namespace corvana::ui
