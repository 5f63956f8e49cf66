/*
 * nkKivo: XML text in, a tree of tags out.
 *
 * A host parses XML text into a tree of tags, then reads, edits, moves,
 * clones and destroys the tags through the plain functions below. The same
 * tags can also be created and assembled by hand, without any XML text.
 *
 * Conventions that hold for every function
 * ----------------------------------------
 * Handles. KivoTagHandle and KivoParserHandle are opaque pointers to a tag
 *   and a parser. They are distinct types, so one cannot be passed for the
 *   other without a cast. A null handle stands for "none".
 *
 * Ownership. The host owns every parser from nkCreateKivoParser, every tag
 *   from nkCreateKivoTag or nkCloneKivoTag, and every tag it receives with a
 *   detach flag set (nkGetKivoTagSubTag, nkGetParserKivo). It releases a parser
 *   with nkDeleteKivoParser and a tree with nkDeleteKivoTag on its top tag.
 *   A tag owns its strings, its attributes and all its sub tags: destroying a
 *   tag destroys its whole subtree. A tag that stands under a parent is owned
 *   by that parent. A handle must never be used after its object was
 *   destroyed, directly or as part of a destroyed tree.
 *
 * Null. Every function given a null first handle does nothing and returns
 *   its null result: 0 for int, NULL for a handle or a string, nothing for
 *   void. Other null arguments are described per function.
 *
 * Strings. Strings passed in are NUL-terminated bytes; the library copies
 *   what it keeps and never holds on to a caller's pointer. Strings returned
 *   point into the tag: the host must not write to them or free them, and
 *   they stay valid until that string (the name, the value, that attribute)
 *   is changed or removed, or the tag is destroyed. The library never
 *   interprets encodings: parsed text is UTF-8 as expat delivers it.
 *
 * Indices. An int index is compared as an unsigned 32-bit number against a
 *   count, so every negative index is out of range.
 *
 * Flags. An int flag means yes for any non-zero value (1, 2 and -1 alike).
 *
 * Failures. A call reports failure only through its null result (0 or NULL).
 *   There are no error codes. This includes an exhausted heap: the call that
 *   could not allocate returns its null result, leaves every tree exactly as
 *   it was before the call, and leaks nothing. No exception ever leaves the
 *   library.
 *
 * Threads. The library creates no threads, takes no locks and keeps no
 *   global state. Different trees and different parsers may be used from
 *   different threads at once; one tree (any tag of it) or one parser must be
 *   used by one thread at a time.
 */
#ifndef NKKIVO_H
#define NKKIVO_H

/*
 * NKKIVO_API(type) declares an exported function returning `type`. It fixes
 * both the visibility and the calling convention in one place, so that the
 * 32-bit Windows DLL exports plain, undecorated __cdecl names. Define
 * NKKIVO_STATIC when linking the static library.
 */
#if defined(NKKIVO_STATIC)
#define NKKIVO_API(type) type
#elif defined(_WIN32) || defined(__CYGWIN__)
#if defined(NKKIVO_BUILDING)
#define NKKIVO_API(type) __declspec(dllexport) type __cdecl
#else
#define NKKIVO_API(type) __declspec(dllimport) type __cdecl
#endif
#elif defined(__GNUC__)
#define NKKIVO_API(type) __attribute__((visibility("default"))) type
#else
#define NKKIVO_API(type) type
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct KivoTag* KivoTagHandle;
typedef struct KivoParser* KivoParserHandle;

/* ---- Parser ---- */

/* Creates a parser for one document. The host owns it and frees it with
 * nkDeleteKivoParser. Returns NULL when memory is short. */
NKKIVO_API(KivoParserHandle) nkCreateKivoParser(void);

/* Destroys the parser. A tree still being built (the document element has
 * started but not ended) is destroyed with it. A finished tree in the parser's
 * root slot is not destroyed: the host may keep using a tree it got from
 * nkGetParserKivo. NULL is ignored. */
NKKIVO_API(void) nkDeleteKivoParser(KivoParserHandle parser);

/* Parses the next `length` bytes of the document; `isFinal` non-zero marks
 * the last piece (an empty last piece is a non-NULL buffer with length 0).
 * Pieces may be cut at any byte. Returns 1 when the text so far is accepted.
 * Returns 0 when the text is not well-formed or memory ran short: the parser
 * then destroys every tag it still holds, including a finished tree in its
 * root slot, and serves no further document. A parser serves one document:
 * a call after the final piece is refused the same way. Returns 0 and does
 * nothing when the parser or the buffer is NULL or the length is negative. */
NKKIVO_API(int)
nkParserKivoBuffer(KivoParserHandle parser, const char* buffer, int length, int isFinal);

/* Returns the document's top tag once the document element has ended, else
 * NULL (also after a failed parse). With `detach` zero the parser keeps the
 * tree and returns the same tag on every call; the tree lives until the host
 * destroys it, but a later failed parse destroys it. With `detach` non-zero
 * the host takes the tree and must destroy it with nkDeleteKivoTag; later
 * calls return NULL. */
NKKIVO_API(KivoTagHandle) nkGetParserKivo(KivoParserHandle parser, int detach);

/* ---- Tag ---- */

/* Creates a tag named `name`, with an empty value, no attributes, no sub tags
 * and no parent. The host owns it. Returns NULL when `name` is NULL or
 * empty, or memory is short. */
NKKIVO_API(KivoTagHandle) nkCreateKivoTag(const char* name);

/* Destroys the tag and its whole subtree. A tag that still stands under a
 * parent is first removed from that parent. NULL is ignored. */
NKKIVO_API(void) nkDeleteKivoTag(KivoTagHandle tag);

/* Returns the tag's name, never NULL for a live tag; NULL for a NULL tag. */
NKKIVO_API(const char*) nkGetKivoTagName(KivoTagHandle tag);

/* Renames the tag to a copy of `name`; NULL and "" give an empty name.
 * Returns 1, or 0 (name unchanged) when memory is short or the tag is NULL. */
NKKIVO_API(int) nkSetKivoTagName(KivoTagHandle tag, const char* name);

/* Returns the tag's value (its own text), "" when it has none, never NULL
 * for a live tag; NULL for a NULL tag. */
NKKIVO_API(const char*) nkGetKivoTagValue(KivoTagHandle tag);

/* Sets the tag's value to a copy of `value`; NULL gives an empty value.
 * Returns 1, or 0 (value unchanged) when memory is short or the tag is NULL. */
NKKIVO_API(int) nkSetKivoTagValue(KivoTagHandle tag, const char* value);

/* ---- Attributes (an ordered list of name/value pairs, names unique) ---- */

/* Returns the number of attributes; 0 for a NULL tag. */
NKKIVO_API(int) nkGetKivoTagAttrCount(KivoTagHandle tag);

/* Returns the name of the attribute at `index` (0 is the oldest), or NULL
 * when the index is out of range (negative included). */
NKKIVO_API(const char*) nkGetKivoTagAttrName(KivoTagHandle tag, int index);

/* Returns the value of the attribute at `index`, or NULL when the index is
 * out of range (negative included). */
NKKIVO_API(const char*) nkGetKivoTagAttrValue(KivoTagHandle tag, int index);

/* Returns the value of the attribute named `name` (compared byte for byte,
 * case-sensitive), or NULL when there is none or `name` is NULL. */
NKKIVO_API(const char*) nkGetKivoTagAttr(KivoTagHandle tag, const char* name);

/* Sets attribute `name` to a copy of `value`: an existing attribute keeps
 * its position and gets the new value; a new one is appended at the end.
 * An empty name or value is allowed. Returns 1; 0 with nothing changed when
 * `name` or `value` is NULL or memory is short. */
NKKIVO_API(int) nkSetKivoTagAttr(KivoTagHandle tag, const char* name, const char* value);

/* Removes attribute `name`; later attributes move up one position. Returns 1,
 * or 0 when `name` is NULL or no attribute has it. */
NKKIVO_API(int) nkDelKivoTagAttr(KivoTagHandle tag, const char* name);

/* Removes every attribute. Returns 1 (0 for a NULL tag). */
NKKIVO_API(int) nkClearKivoTagAttr(KivoTagHandle tag);

/* ---- Hierarchy ---- */

/* Returns the tag's parent, or NULL for a top tag. The parent owns the tag. */
NKKIVO_API(KivoTagHandle) nkGetKivoTagParentTag(KivoTagHandle tag);

/* Returns the number of sub tags; 0 for a NULL tag. */
NKKIVO_API(int) nkGetKivoTagSubTagCount(KivoTagHandle tag);

/* Returns the sub tag at `index`, or NULL when the index is out of range
 * (negative included). With `detach` zero the tag stays where it is and its
 * parent still owns it. With `detach` non-zero it is removed (later sub tags
 * move up one position), has no parent, and the host owns it. */
NKKIVO_API(KivoTagHandle) nkGetKivoTagSubTag(KivoTagHandle tag, int index, int detach);

/* Puts `subTag` (with its subtree) under `tag` at `index`; an index at or
 * beyond the count, or negative, appends. A sub tag that stands under
 * another parent is moved: it leaves that parent first. The new parent owns
 * it. Returns `subTag`; a sub tag already under `tag` stays where it is and
 * the index is ignored. Returns NULL with every tree unchanged when `subTag`
 * is NULL, when it is `tag` itself or one of `tag`'s ancestors (the tree
 * would become a cycle), or when memory is short. */
NKKIVO_API(KivoTagHandle) nkAddKivoTagSubTag(KivoTagHandle tag, int index, KivoTagHandle subTag);

/* Removes `subTag` from `tag` and destroys it with its subtree. Returns 1,
 * or 0 with nothing destroyed when `subTag` is not a direct sub tag of `tag`
 * (a grandchild, a tag of another tree, NULL). */
NKKIVO_API(int) nkDelKivoTagSubTag(KivoTagHandle tag, KivoTagHandle subTag);

/* Destroys every sub tag of `tag` with its subtree. Returns 1 (0 for a NULL
 * tag). */
NKKIVO_API(int) nkClearKivoTagSubTag(KivoTagHandle tag);

/* Returns a deep copy of `tag`: name, value, attributes in order and all sub
 * tags in order, sharing nothing with the source. The copy is a top tag even
 * when the source has a parent; the host owns it. Returns NULL when memory
 * is short. */
NKKIVO_API(KivoTagHandle) nkCloneKivoTag(KivoTagHandle tag);

#ifdef __cplusplus
}
#endif

#endif /* NKKIVO_H */
