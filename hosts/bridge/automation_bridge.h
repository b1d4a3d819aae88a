// The automation bridge: maps a JavaScriptCore context onto IDispatch, so
// that scripts written for the usual script hosts run unchanged. It adds
// to a context:
//   new ActiveXObject("ProgID")   an in-process object created by ProgID
//   VBArray(safeArray)            toArray(), lbound(d), ubound(d), dimensions(), getItem(i...)
//   Enumerator(collection)        atEnd(), item(), moveFirst(), moveNext()
// Members of an object are found by name (GetIDsOfNames, cached per object
// and name) and reached through Invoke: a read is a property get (or, for
// a method its type information names, the method as a function), a write
// a property put, a call a method call. A failing call throws an Error
// whose message and description are the exception record's description
// and whose number is the code as a signed 32-bit integer.
#pragma once

#include <jsc/jsc.h>

namespace fgbridge {

// Adds the three constructors to the context's global object. Call it
// before any of the context's own scripts run: the bridge captures the
// built-in functions it relies on then.
void Install(JSCContext* context);
// Forgets a context the bridge was installed in (its document is gone);
// its objects stay until ReleaseAll.
void Uninstall(JSCContext* context);

// Whether a call into a component from this context may go on; the host's
// own rule, asked at the start of every call. Null admits every call.
using CallGate = bool (*)(JSCContext* context);
void SetCallGate(CallGate gate);

// The code the usual script engines give an error of the kind the engine
// names ("SyntaxError", "TypeError", ...): syntax error 0x800A03EA (1002),
// TypeError 0x800A138F (5007, object expected), ReferenceError 0x800A1391
// (5009, undefined identifier), RangeError 0x800A13A5 (5029, array length
// must be a finite positive integer), URIError 0x800A13A1 (5025, the URI
// to be decoded is not a valid encoding), and for anything else
// 0x800A139E (5022, exception thrown and not caught).
unsigned CodeOfErrorKind(const char* name);

// The code of an exception known only by its message (as a browser engine
// reports an uncaught one): the number of the last Error the bridge threw
// in the context when that Error has this message; `fallback` otherwise.
unsigned CodeOfMessage(JSCContext* context, const char* message, unsigned fallback);

// Releases every object the scripts still hold (before the component
// runtime is shut down); a later use of one throws.
void ReleaseAll();

// The number of objects whose wrappers hold a reference.
int LiveObjects();

}  // namespace fgbridge
