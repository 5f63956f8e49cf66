"""Drives the ctypes host through parsing, reading, editing, moving, cloning
and destroying trees, with a watch on which trees it frees and when.

Run from this folder with the built library named by NKKIVO_LIBRARY:
    NKKIVO_LIBRARY=../../build/libnkKivo.so python3 -m unittest -v
"""

import gc
import unittest

import nkkivo


def dump(tag):
    """A compact one-line form of a whole tree: name[attrs]="value"{subs}."""
    text = tag.name
    if tag.attrs:
        text += "[" + " ".join(f'{name}="{value}"' for name, value in tag.attrs) + "]"
    if tag.value:
        text += f'="{tag.value}"'
    if len(tag):
        text += "{" + " ".join(dump(sub) for sub in tag) + "}"
    return text


class HostTest(unittest.TestCase):
    """Loads the library and records every tree the host frees."""

    def setUp(self):
        self.lib = nkkivo.Library()
        self.freed = []
        delete = self.lib.c.nkDeleteKivoTag

        def recording_delete(handle):
            self.freed.append(handle)
            delete(handle)

        self.lib.c.nkDeleteKivoTag = recording_delete

    def collect(self):
        gc.collect()
        return list(self.freed)


class ReadingTest(HostTest):
    DOCUMENT = (
        "<shop z='last' a='first' m='é'> open <item id='1'>tea &amp; cake</item>"
        "<item id='2'/> late </shop>"
    ).encode("utf-8")

    def test_a_parsed_tree_reads_back_names_values_and_ordered_attributes(self):
        with self.lib.parse(self.DOCUMENT) as shop:
            self.assertEqual(shop.name, "shop")
            self.assertEqual(shop.name_bytes, b"shop")
            self.assertEqual(shop.value, "openlate")
            self.assertEqual(shop.attrs, [("z", "last"), ("a", "first"), ("m", "é")])
            self.assertEqual(
                shop.attrs_bytes, [(b"z", b"last"), (b"a", b"first"), (b"m", "é".encode())]
            )
            self.assertEqual(shop.attr("m"), "é")
            self.assertIsNone(shop.attr("missing"))
            self.assertEqual([item.attr("id") for item in shop], ["1", "2"])
            self.assertEqual(shop[0].value_bytes, b"tea & cake")
            self.assertIs(shop[1].parent, shop)
            self.assertIs(shop[-1], shop[1])
            self.assertIsNone(shop.parent)
            with self.assertRaises(IndexError):
                shop[2]

    def test_text_fed_one_byte_at_a_time_builds_the_same_tree(self):
        with self.lib.parser() as parser:
            for offset in range(len(self.DOCUMENT)):
                self.assertTrue(parser.feed(self.DOCUMENT[offset : offset + 1]))
            self.assertTrue(parser.feed(b"", final=True))
            with parser.take_root() as pieced, self.lib.parse(self.DOCUMENT) as whole:
                self.assertEqual(dump(pieced), dump(whole))

    def test_every_function_answers_a_null_handle_with_its_null_result(self):
        c = self.lib.c
        cases = [
            ("nkDeleteKivoParser", (None,), None),
            ("nkParserKivoBuffer", (None, b"<a/>", 4, 1), 0),
            ("nkGetParserKivo", (None, 1), None),
            ("nkCreateKivoTag", (None,), None),
            ("nkDeleteKivoTag", (None,), None),
            ("nkGetKivoTagName", (None,), None),
            ("nkSetKivoTagName", (None, b"n"), 0),
            ("nkGetKivoTagValue", (None,), None),
            ("nkSetKivoTagValue", (None, b"v"), 0),
            ("nkGetKivoTagAttrCount", (None,), 0),
            ("nkGetKivoTagAttrName", (None, 0), None),
            ("nkGetKivoTagAttrValue", (None, 0), None),
            ("nkGetKivoTagAttr", (None, b"a"), None),
            ("nkSetKivoTagAttr", (None, b"a", b"v"), 0),
            ("nkDelKivoTagAttr", (None, b"a"), 0),
            ("nkClearKivoTagAttr", (None,), 0),
            ("nkGetKivoTagParentTag", (None,), None),
            ("nkGetKivoTagSubTagCount", (None,), 0),
            ("nkGetKivoTagSubTag", (None, 0, 1), None),
            ("nkAddKivoTagSubTag", (None, 0, None), None),
            ("nkDelKivoTagSubTag", (None, None), 0),
            ("nkClearKivoTagSubTag", (None,), 0),
            ("nkCloneKivoTag", (None,), None),
        ]
        for name, args, expected in cases:
            with self.subTest(function=name):
                self.assertEqual(getattr(c, name)(*args), expected)
        self.assertEqual(len(cases) + 1, len(nkkivo.SIGNATURES))  # + nkCreateKivoParser
        parser = c.nkCreateKivoParser()
        self.assertIsInstance(parser, int)
        self.assertEqual(c.nkParserKivoBuffer(parser, None, 0, 1), 0)
        c.nkDeleteKivoParser(parser)


class FailedParseTest(HostTest):
    def test_text_that_is_not_well_formed_yields_no_tree(self):
        cases = [
            ("mismatched end tag", b"<a><b></a></b>"),
            ("junk after the document element", b"<a/><b/>"),
            ("document element never closed", b"<a><b/>"),
            ("no document element", b""),
            ("undefined entity", b"<a>&nope;</a>"),
            ("NUL byte", b"<a>\0</a>"),
        ]
        for label, text in cases:
            with self.subTest(label):
                with self.assertRaises(nkkivo.ParseError):
                    self.lib.parse(text)
                with self.lib.parser() as parser:
                    self.assertFalse(parser.feed(text, final=True))
                    self.assertIsNone(parser.take_root())
                    self.assertFalse(parser.feed(b"<a/>", final=True), "no second document")

    def test_a_failed_parse_closes_the_wrappers_of_the_tree_it_destroys(self):
        with self.lib.parser() as parser:
            self.assertTrue(parser.feed(b"<a><b><c/></b></a>"))
            root = parser.root()
            grandchild = root[0][0]
            self.assertFalse(root.owned)
            self.assertFalse(parser.feed(b"<junk/>", final=True))
            self.assertTrue(root.closed)
            self.assertTrue(grandchild.closed)
            with self.assertRaises(ValueError):
                grandchild.name
            self.assertIsNone(parser.take_root())
        self.assertEqual(self.collect(), [], "the parser freed that tree, not the host")


class OwnershipTest(HostTest):
    def test_a_tree_moves_between_documents_and_each_is_freed_once(self):
        first = self.lib.parse(b"<first><keep/><move><inner/></move></first>")
        second = self.lib.parse(b"<second><old/></second>")
        moved = first[1]
        inner = moved[0]
        self.assertIs(second.insert(0, moved), moved)
        self.assertEqual(dump(first), "first{keep}")
        self.assertEqual(dump(second), "second{move{inner} old}")
        self.assertIs(moved.parent, second)
        self.assertFalse(moved.owned)

        first_handle, second_handle = first._handle, second._handle
        first.close()
        self.assertFalse(moved.closed, "the moved tag left the closed tree")
        self.assertIs(inner.parent, moved)

        taken = second.detach(0)
        self.assertIs(taken, moved)
        self.assertTrue(taken.owned)
        self.assertIsNone(taken.parent)
        second.close()
        self.assertEqual(dump(taken), "move{inner}")
        taken_handle = taken._handle
        taken.close()
        self.assertTrue(inner.closed)
        self.assertEqual(self.collect(), [first_handle, second_handle, taken_handle])

    def test_an_owned_tag_added_under_a_parent_belongs_to_the_parent(self):
        parent = self.lib.create_tag("parent")
        note = self.lib.create_tag("note")
        note.value = "by hand"
        parent.append(note)
        self.assertFalse(note.owned)
        note.close()  # not its owner any more: must not free it
        del note
        self.assertEqual(self.collect(), [])
        self.assertEqual(dump(parent), 'parent{note="by hand"}')
        again = parent.detach(0)
        self.assertTrue(again.owned)
        self.assertEqual(parent.insert(-5, again).name, "note")
        self.assertFalse(again.owned)
        parent_handle = parent._handle
        del parent, again
        self.assertEqual(self.collect(), [parent_handle])

    def test_a_sub_tag_wrapper_keeps_its_tree_alive(self):
        root = self.lib.parse(b"<a><b><c>deep</c></b></a>")
        root_handle = root._handle
        deep = root[0][0]
        del root
        self.assertEqual(self.collect(), [], "a wrapper below still needs the tree")
        self.assertEqual(deep.value, "deep")
        self.assertTrue(deep.parent.parent.owned)
        del deep
        self.assertEqual(self.collect(), [root_handle])

    def test_a_dropped_owner_frees_its_tree_as_a_last_resort(self):
        cases = [
            ("created", lambda: self.lib.create_tag("t")),
            ("cloned", lambda: self.lib.parse(b"<a><b/></a>")[0].clone()),
            ("detached", lambda: self.lib.parse(b"<a><b/></a>").detach(0)),
        ]
        for label, make in cases:
            with self.subTest(label):
                self.freed.clear()
                tag = make()
                handle = tag._handle
                del tag
                self.assertIn(handle, self.collect())

    def test_closing_a_parser_hands_its_finished_tree_to_the_shown_root(self):
        parser = self.lib.parser()
        self.assertTrue(parser.feed(b"<a><b/></a>", final=True))
        root = parser.root()
        parser.close()
        self.assertTrue(root.owned)
        self.assertEqual(dump(root), "a{b}")
        handle = root._handle
        root.close()
        self.assertEqual(self.collect(), [handle])

        self.freed.clear()
        with self.lib.parser() as unshown:
            self.assertTrue(unshown.feed(b"<x/>", final=True))
        self.assertEqual(len(self.collect()), 1, "a tree nobody took is freed with the parser")


class EditingTest(HostTest):
    def test_attribute_edits_keep_their_order(self):
        with self.lib.create_tag("t") as tag:
            tag.set_attr("a", "1")
            tag.set_attr("b", "2")
            tag.set_attr("c", "3")
            tag.set_attr("a", "one")
            self.assertEqual(tag.attrs, [("a", "one"), ("b", "2"), ("c", "3")])
            self.assertTrue(tag.del_attr("b"))
            self.assertFalse(tag.del_attr("b"))
            self.assertEqual(tag.attrs, [("a", "one"), ("c", "3")])
            tag.set_attr(b"raw", b"\xff\xfe")
            self.assertEqual(tag.attr_bytes("raw"), b"\xff\xfe")
            self.assertEqual(tag.attr("raw").encode("utf-8", "surrogateescape"), b"\xff\xfe")
            with self.assertRaises(ValueError):
                tag.set_attr("nul", "a\0b")
            tag.clear_attrs()
            self.assertEqual(tag.attrs, [])

    def test_name_and_value_accept_str_and_bytes(self):
        with self.lib.create_tag("old") as tag:
            tag.name = "naïve"
            self.assertEqual(tag.name_bytes, "naïve".encode())
            tag.name_bytes = b"plain"
            self.assertEqual(tag.name, "plain")
            tag.value = b"bytes in"
            self.assertEqual(tag.value, "bytes in")
            with self.assertRaises(ValueError):
                self.lib.create_tag("")

    def test_a_clone_is_an_owned_copy_that_shares_nothing(self):
        with self.lib.parse(b"<a><b k='v'>text<c/></b></a>") as root:
            copy = root[0].clone()
            self.assertTrue(copy.owned)
            self.assertIsNone(copy.parent)
            self.assertEqual(dump(copy), 'b[k="v"]="text"{c}')
            copy.name = "changed"
            copy.set_attr("k", "new")
            copy[0].value = "mine"
            copy.close()
            self.assertEqual(dump(root), 'a{b[k="v"]="text"{c}}')

    def test_moves_that_would_make_a_cycle_are_refused(self):
        with self.lib.parse(b"<a><b><c/></b></a>") as root:
            b = root[0]
            c = b[0]
            cases = [
                ("a tag under itself", b, b),
                ("a parent under its child", b, c),
                ("the top under its grandchild", root, c),
            ]
            for label, moved, target in cases:
                with self.subTest(label):
                    with self.assertRaises(ValueError):
                        target.insert(0, moved)
                    self.assertEqual(dump(root), "a{b{c}}")
                    self.assertTrue(root.owned)
                    self.assertIs(c.parent, b)

    def test_the_top_of_a_tree_a_parser_holds_cannot_be_moved(self):
        with self.lib.parser() as parser, self.lib.create_tag("host") as host:
            self.assertTrue(parser.feed(b"<doc/>", final=True))
            with self.assertRaises(ValueError):
                host.append(parser.root())
            self.assertEqual(len(host), 0)

    def test_removing_and_clearing_close_the_wrappers_they_destroy(self):
        with self.lib.parse(b"<a><b><x/></b><c/><d/></a>") as root:
            b, c, d = list(root)
            x = b[0]
            with self.lib.create_tag("elsewhere") as stranger:
                self.assertFalse(root.remove(stranger))
                self.assertFalse(root.remove(x), "a grandchild is not a direct sub tag")
            self.assertFalse(x.closed)
            self.assertTrue(root.remove(b))
            self.assertTrue(b.closed)
            self.assertTrue(x.closed)
            self.assertEqual(dump(root), "a{c d}")
            root.clear()
            self.assertTrue(c.closed and d.closed)
            self.assertFalse(root.closed)
            self.assertEqual(dump(root), "a")
        self.assertEqual(len(self.collect()), 2, "the stranger and the root, once each")


if __name__ == "__main__":
    unittest.main()
