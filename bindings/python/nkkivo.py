"""Use the nkKivo library from Python through ctypes (standard library only).

    lib = nkkivo.Library()          # or Library("path/to/libnkKivo.so.1")
    with lib.parse(b"<doc a='1'><item>x</item></doc>") as doc:
        for item in doc:
            print(item.name, item.value, item.attrs)

The library is found from the argument, else the NKKIVO_LIBRARY environment
variable, else ctypes.util.find_library("nkKivo"), else its usual file name.

Ownership mirrors the C interface. A Tag wrapper owns, and frees, exactly the
trees the host owns: a tag from create_tag() or clone(), a tree taken from a
parser, and a sub tag taken with detach(). It frees its tree on close(), on
leaving a with block, or as a last resort when it is garbage-collected.
Adding an owned tag under a parent hands it to that parent: its wrapper stops
owning it, and becomes an owner again when the tag is detached. A wrapper of
a tag that stands under a parent (or in a parser) never frees it, and keeps
the wrapper of its parent (or the parser) alive, so a tree is never freed
underneath a live wrapper. When the host destroys a tree (close(), remove(),
clear(), a failed parse), every wrapper of a tag in it is marked closed and
raises ValueError when used, instead of touching freed memory.

Strings go in as str (encoded UTF-8) or bytes; they come out as str
(`name`, `value`, `attrs`) or bytes (`name_bytes`, `value_bytes`,
`attrs_bytes`). Bytes that are not UTF-8 survive as surrogate escapes.
"""

import ctypes
import ctypes.util
import os
import weakref

__all__ = ["Library", "Parser", "ParseError", "Tag"]

_TAG = ctypes.c_void_p
_PARSER = ctypes.c_void_p
_STR = ctypes.c_char_p
_INT = ctypes.c_int

# The 24 exported functions: name -> (result type, argument types).
SIGNATURES = {
    "nkCreateKivoParser": (_PARSER, []),
    "nkDeleteKivoParser": (None, [_PARSER]),
    "nkParserKivoBuffer": (_INT, [_PARSER, _STR, _INT, _INT]),
    "nkGetParserKivo": (_TAG, [_PARSER, _INT]),
    "nkCreateKivoTag": (_TAG, [_STR]),
    "nkDeleteKivoTag": (None, [_TAG]),
    "nkGetKivoTagName": (_STR, [_TAG]),
    "nkSetKivoTagName": (_INT, [_TAG, _STR]),
    "nkGetKivoTagValue": (_STR, [_TAG]),
    "nkSetKivoTagValue": (_INT, [_TAG, _STR]),
    "nkGetKivoTagAttrCount": (_INT, [_TAG]),
    "nkGetKivoTagAttrName": (_STR, [_TAG, _INT]),
    "nkGetKivoTagAttrValue": (_STR, [_TAG, _INT]),
    "nkGetKivoTagAttr": (_STR, [_TAG, _STR]),
    "nkSetKivoTagAttr": (_INT, [_TAG, _STR, _STR]),
    "nkDelKivoTagAttr": (_INT, [_TAG, _STR]),
    "nkClearKivoTagAttr": (_INT, [_TAG]),
    "nkGetKivoTagParentTag": (_TAG, [_TAG]),
    "nkGetKivoTagSubTagCount": (_INT, [_TAG]),
    "nkGetKivoTagSubTag": (_TAG, [_TAG, _INT, _INT]),
    "nkAddKivoTagSubTag": (_TAG, [_TAG, _INT, _TAG]),
    "nkDelKivoTagSubTag": (_INT, [_TAG, _TAG]),
    "nkClearKivoTagSubTag": (_INT, [_TAG]),
    "nkCloneKivoTag": (_TAG, [_TAG]),
}

# The length argument is a C int; longer input is fed in pieces of this size.
_MAX_PIECE = 1 << 30


class ParseError(ValueError):
    """The text was not well-formed XML (or memory ran short)."""


def _library_path(path):
    if path:
        return os.fspath(path)
    from_env = os.environ.get("NKKIVO_LIBRARY")
    if from_env:
        return from_env
    found = ctypes.util.find_library("nkKivo")
    if found:
        return found
    return "nkKivo.dll" if os.name == "nt" else "libnkKivo.so.1"


def _to_bytes(text, what):
    if isinstance(text, str):
        data = text.encode("utf-8", "surrogateescape")
    elif isinstance(text, (bytes, bytearray, memoryview)):
        data = bytes(text)
    else:
        raise TypeError(f"{what} must be str or bytes, not {type(text).__name__}")
    if b"\0" in data:
        raise ValueError(f"{what} must not contain a NUL byte")
    return data


def _to_str(data):
    return None if data is None else data.decode("utf-8", "surrogateescape")


def _text_properties(getter, setter, what):
    """A tag's bytes and str properties over one of its strings (name or
    value): both read the same bytes, and both accept str or bytes."""

    def read(tag):
        return getattr(tag._lib.c, getter)(tag._h())

    def write(tag, text):
        if not getattr(tag._lib.c, setter)(tag._h(), _to_bytes(text, what)):
            raise MemoryError(f"{setter} failed")

    return property(read, write), property(lambda tag: _to_str(read(tag)), write)


class _Functions:
    """The library's exported functions, declared with their C types."""

    def __init__(self, dll):
        for name, (restype, argtypes) in SIGNATURES.items():
            function = getattr(dll, name)
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)


class Library:
    """One loaded copy of the library and the wrappers of its live tags."""

    def __init__(self, path=None):
        self.path = _library_path(path)
        self._dll = ctypes.CDLL(self.path)
        self.c = _Functions(self._dll)
        # One wrapper per live tag handle, so identity and ownership are
        # tracked in one place; a wrapper leaves when it is collected.
        self._tags = weakref.WeakValueDictionary()

    def create_tag(self, name):
        """Returns a new owned tag named `name`; ValueError for an empty name."""
        name = _to_bytes(name, "name")
        if not name:
            raise ValueError("a tag needs a non-empty name")
        handle = self.c.nkCreateKivoTag(name)
        if not handle:
            raise MemoryError("nkCreateKivoTag failed")
        return self._take(handle)

    def parser(self):
        """Returns a new Parser for one document."""
        return Parser(self)

    def parse(self, text):
        """Parses a whole document and returns its owned top tag.

        Raises ParseError when the text is not well-formed."""
        with self.parser() as parser:
            if not parser.feed(text, final=True):
                raise ParseError("the text is not well-formed XML")
            return parser.take_root()

    def _wrap(self, handle, holder):
        tag = self._tags.get(handle)
        if tag is None:
            tag = Tag(self, handle, holder)
            self._tags[handle] = tag
        return tag

    def _wrap_with_ancestors(self, handle):
        """Wraps a tag whose parent may not be wrapped yet (top down)."""
        chain = []
        while handle and handle not in self._tags:
            chain.append(handle)
            handle = self.c.nkGetKivoTagParentTag(handle)
        holder = self._tags.get(handle) if handle else None
        for unwrapped in reversed(chain):
            holder = self._wrap(unwrapped, holder)
        return holder

    def _take(self, handle):
        """Wraps a top tag the host has just come to own."""
        tag = self._wrap(handle, None)
        tag._holder = None
        tag._owned = True
        return tag

    def _forget_subtree(self, top, include_top):
        """Closes every wrapper of a tag under `top` (and `top` itself when
        `include_top`), before or after that subtree is destroyed.

        Works on the wrappers' holder links only, so it never reads the
        destroyed tags. Each wrapper's chain is walked once: a status once
        known is remembered for everything below it."""
        if len(self._tags) == 1 and include_top:
            top._forget()
            return
        inside = {id(top): True}
        wrappers = list(self._tags.values())
        for tag in wrappers:
            path = []
            node = tag
            while id(node) not in inside:
                path.append(node)
                node = node._holder
                if not isinstance(node, Tag):
                    inside[id(path[-1])] = False
                    node = path.pop()
                    break
            verdict = inside[id(node)]
            for passed in path:
                inside[id(passed)] = verdict
        for tag in wrappers:
            if inside[id(tag)] and (include_top or tag is not top):
                tag._forget()


class Tag:
    """A tag of a tree: its name, value, attributes and sub tags.

    Wrappers are unique per tag, so `a is b` tells whether two wrappers are
    the same tag. Sub tags are indexed like a Python list."""

    __slots__ = ("_lib", "_handle", "_holder", "_owned", "__weakref__")

    def __init__(self, lib, handle, holder):
        self._lib = lib
        self._handle = handle
        self._holder = holder  # parent Tag, Parser holding the tree, or None
        self._owned = False

    def __repr__(self):
        if self._handle is None:
            return "<nkkivo.Tag closed>"
        state = "owned" if self._owned else "held"
        return f"<nkkivo.Tag {self.name!r} {state}>"

    # ---- lifetime

    @property
    def owned(self):
        """True when this wrapper owns the tag's tree and will free it."""
        return self._owned

    @property
    def closed(self):
        """True once the tag was destroyed (or this owner closed)."""
        return self._handle is None

    def close(self):
        """Frees the tree when this wrapper owns it; otherwise does nothing
        (the tag belongs to its parent or its parser)."""
        if not self._owned or self._handle is None:
            return
        handle = self._handle
        self._lib._forget_subtree(self, include_top=True)
        self._lib.c.nkDeleteKivoTag(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __del__(self):
        # Only reached when no wrapper below this tag is alive any more,
        # since each of them holds its parent's wrapper.
        if self._owned and self._handle is not None:
            try:
                self._lib.c.nkDeleteKivoTag(self._handle)
            except Exception:  # interpreter shutdown: the module may be gone
                pass
            self._handle = None

    def _forget(self):
        if self._lib._tags.get(self._handle) is self:
            del self._lib._tags[self._handle]
        self._handle = None
        self._holder = None
        self._owned = False

    def _h(self):
        if self._handle is None:
            raise ValueError("the tag was destroyed or closed")
        return self._handle

    # ---- name and value

    name_bytes, name = _text_properties("nkGetKivoTagName", "nkSetKivoTagName", "name")
    value_bytes, value = _text_properties("nkGetKivoTagValue", "nkSetKivoTagValue", "value")

    # ---- attributes

    @property
    def attrs_bytes(self):
        """The attributes in order, as a list of (name, value) bytes pairs."""
        handle, c = self._h(), self._lib.c
        return [
            (c.nkGetKivoTagAttrName(handle, i), c.nkGetKivoTagAttrValue(handle, i))
            for i in range(c.nkGetKivoTagAttrCount(handle))
        ]

    @property
    def attrs(self):
        """The attributes in order, as a list of (name, value) str pairs."""
        return [(_to_str(name), _to_str(value)) for name, value in self.attrs_bytes]

    def attr_bytes(self, name):
        """Returns the value of attribute `name` as bytes, or None."""
        return self._lib.c.nkGetKivoTagAttr(self._h(), _to_bytes(name, "name"))

    def attr(self, name):
        """Returns the value of attribute `name` as str, or None."""
        return _to_str(self.attr_bytes(name))

    def set_attr(self, name, value):
        """Sets attribute `name`: an existing one keeps its place, a new one
        goes last."""
        if not self._lib.c.nkSetKivoTagAttr(
            self._h(), _to_bytes(name, "name"), _to_bytes(value, "value")
        ):
            raise MemoryError("nkSetKivoTagAttr failed")

    def del_attr(self, name):
        """Removes attribute `name`; returns False when there was none."""
        return bool(self._lib.c.nkDelKivoTagAttr(self._h(), _to_bytes(name, "name")))

    def clear_attrs(self):
        self._lib.c.nkClearKivoTagAttr(self._h())

    # ---- hierarchy

    @property
    def parent(self):
        """The parent tag, or None for a top tag."""
        handle = self._lib.c.nkGetKivoTagParentTag(self._h())
        return self._lib._wrap_with_ancestors(handle) if handle else None

    def __len__(self):
        return self._lib.c.nkGetKivoTagSubTagCount(self._h())

    def _index(self, index):
        count = len(self)
        if index < 0:
            index += count
        if not 0 <= index < count:
            raise IndexError("sub tag index out of range")
        return index

    def __getitem__(self, index):
        handle = self._lib.c.nkGetKivoTagSubTag(self._h(), self._index(index), 0)
        return self._lib._wrap(handle, self)

    def __iter__(self):
        index = 0
        while index < len(self):
            yield self[index]
            index += 1

    def detach(self, index):
        """Removes the sub tag at `index` and returns it, now owned by the host."""
        handle = self._lib.c.nkGetKivoTagSubTag(self._h(), self._index(index), 1)
        return self._lib._take(handle)

    def insert(self, index, tag):
        """Puts `tag` (with its subtree) under this tag before position
        `index`, as list.insert does. A tag under another parent moves; a
        tag the host owned now belongs to this tree. Returns `tag`.

        Raises ValueError when `tag` is this tag or one of its ancestors, or
        the top of a tree still held by a parser."""
        if not isinstance(tag, Tag) or tag._lib is not self._lib:
            raise TypeError("insert() needs a Tag of the same Library")
        if isinstance(tag._holder, Parser):
            raise ValueError("take the tree from its parser before moving its top tag")
        count = len(self)
        if index < 0:
            index = max(index + count, 0)
        index = min(index, count)
        if not self._lib.c.nkAddKivoTagSubTag(self._h(), index, tag._h()):
            raise ValueError("refused: the tag is this tag or one of its ancestors")
        tag._holder = self
        tag._owned = False
        return tag

    def append(self, tag):
        """Puts `tag` last under this tag; see insert()."""
        return self.insert(len(self), tag)

    def remove(self, tag):
        """Destroys the direct sub tag `tag` with its subtree; returns False
        (nothing destroyed) when `tag` is not a direct sub tag."""
        handle = tag._h()
        if not isinstance(tag._holder, Tag) or tag._holder is not self:
            return False
        self._lib._forget_subtree(tag, include_top=True)
        return bool(self._lib.c.nkDelKivoTagSubTag(self._h(), handle))

    def clear(self):
        """Destroys every sub tag."""
        self._lib._forget_subtree(self, include_top=False)
        self._lib.c.nkClearKivoTagSubTag(self._h())

    def clone(self):
        """Returns an owned deep copy of this tag and its subtree."""
        handle = self._lib.c.nkCloneKivoTag(self._h())
        if not handle:
            raise MemoryError("nkCloneKivoTag failed")
        return self._lib._take(handle)


class Parser:
    """Builds one document's tree from text fed in pieces."""

    def __init__(self, lib):
        self._lib = lib
        self._handle = lib.c.nkCreateKivoParser()
        if not self._handle:
            raise MemoryError("nkCreateKivoParser failed")
        self._shown_root = None  # weak reference to the wrapper root() gave

    def _h(self):
        if self._handle is None:
            raise ValueError("the parser is closed")
        return self._handle

    def feed(self, text, final=False):
        """Parses the next piece of the document; `final` marks the last one.

        Returns False when the text is not well-formed: the parser then
        destroys its tree (a tag got from root() is closed with it) and
        takes no further text."""
        if isinstance(text, str):
            data = text.encode("utf-8", "surrogateescape")
        else:
            data = bytes(text)
        handle = self._h()
        pieces = [data[i : i + _MAX_PIECE] for i in range(0, len(data), _MAX_PIECE)] or [b""]
        for number, piece in enumerate(pieces, start=1):
            is_final = 1 if final and number == len(pieces) else 0
            if not self._lib.c.nkParserKivoBuffer(handle, piece, len(piece), is_final):
                self._forget_shown_root()
                return False
        return True

    def _forget_shown_root(self):
        root = self._shown_root() if self._shown_root else None
        if root is not None and root._holder is self:
            self._lib._forget_subtree(root, include_top=True)

    def root(self):
        """The finished tree's top tag, still held by the parser, or None.

        The parser destroys it on a later failed parse; take_root() hands it
        to the host instead."""
        handle = self._lib.c.nkGetParserKivo(self._h(), 0)
        if not handle:
            return None
        root = self._lib._wrap(handle, self)
        self._shown_root = weakref.ref(root)
        return root

    def take_root(self):
        """Takes the finished tree: returns its owned top tag, or None when
        the document has not ended or did not parse."""
        handle = self._lib.c.nkGetParserKivo(self._h(), 1)
        return self._lib._take(handle) if handle else None

    def close(self):
        """Destroys the parser. A finished tree it still holds is handed to
        the wrapper root() gave, or destroyed when there is none."""
        if self._handle is None:
            return
        self._release_held_tree()
        self._lib.c.nkDeleteKivoParser(self._handle)
        self._handle = None

    def _release_held_tree(self):
        handle = self._lib.c.nkGetParserKivo(self._handle, 1)
        if not handle:
            return
        shown = self._lib._tags.get(handle)
        if shown is not None:
            self._lib._take(handle)
        else:
            self._lib.c.nkDeleteKivoTag(handle)

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None) is not None:
            try:
                self.close()
            except Exception:  # interpreter shutdown: the module may be gone
                pass
