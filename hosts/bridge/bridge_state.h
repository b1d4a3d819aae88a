// What the bridge keeps for itself, out of the scripts' reach: which native
// instances are its own, and for each context the classes it registered and
// the script functions it captured at install, before any of the
// context's own scripts ran.
//
// Scripts cannot read or forge any of it. The engine hands a class's
// methods any wrapped instance, whatever class it was made by, so every
// instance is checked against this record before it is used; and a value
// is recognised as the bridge's own by the engine's private data behind
// it, never by a property a script can set.
#pragma once

#include <jsc/jsc.h>

#include <string>
#include <vector>

namespace fgbridge {

enum class NativeKind { Object, Array, Enumeration };

// Records a native instance the bridge wraps in a script value, until its
// finalizer forgets it.
void Adopt(void* instance, NativeKind kind);
void Forget(void* instance);
// Whether `instance` is a live one of the bridge's own, of `kind`.
bool IsGenuine(const void* instance, NativeKind kind);

template <class T>
T* GenuineAs(gpointer instance, NativeKind kind) {
  return IsGenuine(instance, kind) ? static_cast<T*>(instance) : nullptr;
}

// Every live instance of a kind, for the release at the end.
std::vector<void*> GenuineOf(NativeKind kind);

struct ContextState {
  JSCClass* objectClass = nullptr;
  JSCClass* arrayClass = nullptr;  // the opaque value of an array result
  JSCValue* probe = nullptr;       // (method, value): runs the method with `value` as this; false if refused
  JSCValue* probeMethod = nullptr;  // a method of the bridge's, kept only here: notes its instance
  JSCValue* dateTime = nullptr;     // (value): the time of a genuine Date, undefined for anything else
  JSCValue* newDate = nullptr;      // (ms): a new Date
  JSCValue* makeError = nullptr;    // (description, number, typeError): an Error placed at the script's call
  JSCValue* raise = nullptr;        // (value): throws it
  // The last failure the bridge threw here, for the host's report of an
  // uncaught error.
  bool thrown = false;
  std::string lastDescription;
  unsigned lastCode = 0;
};

// The state of a context the bridge was installed in; null for any other.
ContextState* StateOf(JSCContext* context);
// Captures the functions and makes the state (Install calls it first).
ContextState* CreateState(JSCContext* context);
// Drops the state and what it holds (the context itself stays alive
// while the state does).
void DestroyState(JSCContext* context);

// The native instance behind a script value when the value is an instance
// of one of the bridge's classes and of `kind`; null for anything else.
// Runs none of the script's code.
void* InstanceOf(JSCContext* context, JSCValue* value, NativeKind kind);

// Throws an Error (a TypeError) with description and number into the
// context, placed at the script's call.
void ThrowMadeError(JSCContext* context, const char* description, int code, bool typeError);

}  // namespace fgbridge
