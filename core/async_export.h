// The frame every asynchronous export shares, and the calls that start a platform operation.
#pragma once

#include <tuple>
#include <type_traits>
#include <utility>

#include "core/activation.h"
#include "core/continuation.h"
#include "core/event_managers.h"
#include "core/marshalling.h"
#include "core/user_resolution.h"

namespace HaldenPlugin {

// The group's handlers first (also when the call then answers false), then the body inside a
// region that turns a platform exception into false: nothing was started and no event follows.
// Before a load has bound the host queue nothing can be delivered, so nothing is started.
template <class Manager, class Body>
bool StartAsync(Body&& body) {
    if (!QueueBound()) return false;
    Manager::Instance();
    try {
        return body();
    } catch (const Platform::Exception&) {
        return false;
    }
}

// A managed argument as the platform call takes it: text becomes a platform string owned for the
// call, everything else passes through.
inline HStringOwner ToAbiArg(const char16_t* text) { return MakePlatformString(text); }
template <class A>
    requires(!std::is_convertible_v<A, const char16_t*>)
A ToAbiArg(A value) {
    return value;
}
inline HSTRING Pass(const HStringOwner& text) { return text.Get(); }
template <class A>
const A& Pass(const A& value) {
    return value;
}

template <class M>
struct MethodTraits;
template <class I, class... P>
struct MethodTraits<HRESULT (I::*)(P...)> {
    using Interface = I;
    using Params = std::tuple<P...>;
    // The operation or action the method hands out through its last parameter.
    using Operation = std::remove_pointer_t<std::remove_pointer_t<std::tuple_element_t<sizeof...(P) - 1, Params>>>;
};

// Calls `Method` on `target` with the arguments converted to its parameter types, and attaches
// the continuation to the operation it hands out.
template <class EventT, auto Method, class... A>
bool CallAndAttach(typename MethodTraits<decltype(Method)>::Interface* target, decltype(EventT::callback) callback,
                   void* userData, const A&... args) {
    using Traits = MethodTraits<decltype(Method)>;
    if (!target) ThrowForHResult(ABI::E_POINTER);
    ComPtr<typename Traits::Operation> operation;
    [&]<size_t... I>(std::index_sequence<I...>) {
        Check((target->*Method)(static_cast<std::tuple_element_t<I, typename Traits::Params>>(Pass(args))...,
                                operation.Put()));
    }(std::index_sequence_for<A...>{});
    return AttachCompletionContinuation<EventT>(operation.Get(), callback, userData);
}

// An operation of a service read from the user's services context (inventory, catalog).
template <class EventT, auto ServiceGetter, auto Method, class... A>
bool ServiceOperation(uint32_t userId, decltype(EventT::callback) callback, void* userData, A... args) {
    return StartAsync<typename ManagerOf<EventT>::type>([&] {
        ComPtr<UserServicesContext> context = ResolveServicesContext(userId);
        if (!context) return false;
        auto abiArgs = std::make_tuple(ToAbiArg(args)...);
        auto service = ComPtr<std::remove_pointer_t<ValueOf<ServiceGetter>>>::Attach(Read<ServiceGetter>(context.Get()));
        return std::apply(
            [&](const auto&... a) { return CallAndAttach<EventT, Method>(service.Get(), callback, userData, a...); },
            abiArgs);
    });
}

}  // namespace HaldenPlugin
