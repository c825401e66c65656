// Registry settings: typed values under the application's key of the user's settings store.
#pragma once

#include "core/qstring.h"
#include "core/qvector.h"

#include <cstddef>
#include <cstdint>
#include <functional>

// Every value lives under the application key "Software\Quorvin\<name>" (or the key that ZUKREG_SPEC names) of
// the user's store, optionally in a subkey: a path below the application key with '\' between levels.
// Value names and subkeys may be null; null or empty means none. Names are cut to 255 bytes, and control
// bytes, '/', ':' (and in value names '\') become '_'. Names ignore the case of ASCII letters.
//
// Any thread may call these operations: one lock per application name serialises the threads of the process,
// the store's lock serialises processes, and each operation is one indivisible change of the store. Failures
// of the store itself (it cannot be read, created or written) are fatal: "Fatal registry error: %s". A store
// that cannot be parsed is moved aside, reported once as a warning, and a fresh one begins.
// Every operation, reads included, creates the application key when it is missing.

// Reads the 32-bit integer value (the default when it is missing or not an integer), or with `write` stores
// `value` (the subkey is created) and returns it. An empty name writes nothing.
int32_t registry_int(const char *name, bool write, int32_t value, const char *subkey = nullptr);

// True and the text in *out when the value is a text; false and *out untouched otherwise. An empty text
// reads as missing.
bool registry_read_text(qstring *out, const char *name, const char *subkey = nullptr);
// Stores a text value, creating the subkey; a null text writes nothing (the subkey is still created).
void registry_write_text(const char *name, const char *subkey, const char *text);

// Kinds of `registry_binary` buffers.
enum registry_binary_kind_t : int
{
  registry_binary_exact = 0,    // a buffer of `size` bytes; a longer stored value fails
  registry_binary_truncate = 1, // the same, but a longer stored value is cut to the buffer
  registry_binary_buffer = 2,   // `buffer` is a byte_buffer_t (its own size counts), resized to the value on reads
};
// Writes the bytes as a binary value (true), or reads one: true only for an existing binary value that
// fits the kind. Kinds 0 and 1 copy at most `size` bytes and leave the rest of a longer buffer untouched.
[[nodiscard]]
bool registry_binary(const char *name, bool write, void *buffer, size_t size, const char *subkey, int kind);

// Deletes a value: true when the key is missing or the value was deleted, false when the key exists
// without that value.
bool registry_remove_value(const char *name, const char *subkey = nullptr);
// Deletes the subkey when it has no subkeys of its own (its values go with it). False for an empty path,
// true when the application key had to be created, else whether the key was deleted.
[[nodiscard]] bool registry_remove_key(const char *subkey);
// As `registry_remove_key`, but deletes the subkey with everything below it.
[[nodiscard]] bool registry_remove_tree(const char *subkey);

// Appends the entries of the numbered list in the subkey (text values "0", "1", ... up to the first missing
// or non-text one) that *out does not hold yet (byte-exact). A null or empty subkey is internal error 2716.
void registry_read_list(qvector<qstring> *out, const char *subkey);
// Appends the names of the key's subkeys (`subkeys` set) or values, in store order; false when the key is
// missing (a missing application key counts as missing).
[[nodiscard]] bool registry_list_names(qvector<qstring> *out, const char *subkey, bool subkeys);

// Puts `entry` (null or empty: none) at the head of the most-recent-first list in the subkey, keeping at most
// `maximum` (1 to 1000) entries. A stored entry equal to `drop` (without regard to ASCII case when `nocase`)
// is removed; when it is the first stored entry and `entry` equals `drop` too, nothing is written. Does
// nothing when ZUK_NO_HISTORY is set or the maximum is out of range. A null or empty subkey is internal
// error 2716.
void registry_push_history(const char *subkey, const char *entry, uint32_t maximum, const char *drop = nullptr,
                           bool nocase = false);

// Runs `body` as one indivisible change of the store: every operation it makes on this thread joins one
// operation of the store, written out whole when `body` returns, and not at all when it leaves by an exception.
// Other threads and processes wait meanwhile and never see a part of it. `body` must not select another
// application name.
void registry_group(const std::function<void()> &body);
// Makes `name` the application name of every later operation of the process (the first selection of a
// name creates its accessor; later ones reuse it). False, changing nothing, for a null or empty name or
// one that holds '/' or '\'.
[[nodiscard]] bool registry_select_app(const char *name);
// The current application name; "ZUK" when none was selected yet.
void registry_current_app(qstring *out);

// The exit handler: ends every accessor, writing out an operation still open. A later operation starts
// afresh with the default application name and reads the environment again.
void registry_shutdown();
