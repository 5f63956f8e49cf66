/*
 * kivo-dump: parses XML files with nkKivo and prints each tree as an outline.
 *
 * A host of the library like any other: it links the shared library and uses
 * only the public header. It links expat as well, for one thing the library
 * deliberately does not do: when a document is refused, the tool runs expat
 * over the same bytes again to tell its user where and why.
 */
#include "nkKivo.h"

#include <expat.h>

#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

enum { EXIT_REFUSED = 1, EXIT_TROUBLE = 2 };

enum {
    DEFAULT_PIECE = 65536,
    /* Beyond this depth lines stop moving right and show the depth instead,
     * so a document a million levels deep still prints short lines. */
    INDENT_LEVELS = 32
};

static const char* const USAGE = "usage: kivo-dump [--piece N] [--stats] [--quiet] [--] FILE|- ...";

static const char* const HELP =
    "Parses each XML file (- for standard input) with nkKivo, handing the library\n"
    "N bytes at a time, and prints the tree as an outline, one tag per line:\n"
    "  name attr=\"value\" ... = \"value\"\n"
    "Attributes are shown in their order; \" = \" and the value only when the value\n"
    "is not empty. Each level indents by two spaces; from level 33 on the\n"
    "indentation stays as at level 32 and the line starts with its depth, as in\n"
    "\"[40] name\". In names, attribute values and values the characters \\ and \"\n"
    "and control bytes are escaped (\\\\ \\\" \\t \\n \\r \\xHH), so every tag stays on\n"
    "one line; other bytes, UTF-8 included, are printed as they are. With more than\n"
    "one file, a line \"# FILE\" heads each outline. A document is printed only\n"
    "once it has been parsed whole, so a refused one prints nothing on standard\n"
    "output.\n"
    "\n"
    "  --piece N  hand the library N bytes at a time, 1 to 2147483647 (65536)\n"
    "  --stats    print tags, attributes, maximum depth, bytes, the time spent\n"
    "             reading and parsing, and MB/s to standard error\n"
    "  --quiet    print no outline (with --stats: to measure only)\n"
    "  --help     print this help\n"
    "  --         end the options: every later argument is a file name\n"
    "\n"
    "A refused document is reported on standard error with the line and column\n"
    "(both counted from 1) and the message expat gives for it.\n"
    "Exit status: 0 every document parsed; 1 a document is not well-formed;\n"
    "2 a file could not be read, a usage error, a write error or no memory.\n";

typedef struct Options {
    size_t piece;
    int stats;
    int quiet;
    int headed; /* more than one file: a "# FILE" line heads each outline */
} Options;

typedef enum OptionsResult { OPTIONS_RUN, OPTIONS_HELP, OPTIONS_BAD } OptionsResult;

/* Every byte handed to the library so far, kept so that expat can be run
 * over exactly the same text when the library refuses it. */
typedef struct Input {
    char* bytes;
    size_t length;
    size_t capacity;
    int reachedEnd; /* the last piece handed over was marked final */
} Input;

typedef enum ParseResult {
    PARSE_ACCEPTED,
    PARSE_REFUSED,
    PARSE_READ_ERROR,
    PARSE_NO_MEMORY
} ParseResult;

typedef struct Counts {
    unsigned long long tags;
    unsigned long long attrs;
    size_t maxDepth;
} Counts;

/* One open tag of the walk and the position of its next sub tag to visit. */
typedef struct Frame {
    KivoTagHandle tag;
    int nextSubTag;
} Frame;

/* The walk keeps its own stack instead of recursing, because a document
 * may be deeper than the call stack allows. */
typedef struct Walk {
    Frame* frames;
    size_t capacity;
} Walk;

typedef void (*VisitTag)(KivoTagHandle tag, size_t depth, void* context);

/* ---- Command line ---- */

static OptionsResult Refuse(const char* reason, const char* argument) {
    fprintf(stderr, "kivo-dump: %s%s\n%s\n", reason, argument, USAGE);
    return OPTIONS_BAD;
}

static int ParsePiece(const char* text, size_t* piece) {
    char* end = NULL;
    errno = 0;
    const long value = strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > INT_MAX) {
        return 0;
    }
    *piece = (size_t)value;
    return 1;
}

/* Options may stand before, between and after the files, up to "--". The
 * file names are gathered, in order, at the front of argv (from argv[1]) and
 * counted in *fileCount. */
static OptionsResult ParseOptions(int argc, char** argv, Options* options, int* fileCount) {
    const Options defaults = {DEFAULT_PIECE, 0, 0, 0};
    int files = 0;
    int optionsEnded = 0;
    *options = defaults;
    for (int at = 1; at < argc; ++at) {
        const char* const argument = argv[at];
        if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
            argv[1 + files++] = argv[at];
        } else if (strcmp(argument, "--") == 0) {
            optionsEnded = 1;
        } else if (strcmp(argument, "--help") == 0) {
            return OPTIONS_HELP;
        } else if (strcmp(argument, "--stats") == 0) {
            options->stats = 1;
        } else if (strcmp(argument, "--quiet") == 0) {
            options->quiet = 1;
        } else if (strcmp(argument, "--piece") == 0) {
            if (++at == argc || !ParsePiece(argv[at], &options->piece)) {
                return Refuse("--piece needs a number from 1 to 2147483647", "");
            }
        } else {
            return Refuse("unknown option ", argument);
        }
    }
    if (files == 0) {
        return Refuse("no file named", "");
    }
    options->headed = files > 1;
    *fileCount = files;
    return OPTIONS_RUN;
}

/* ---- Reading and parsing ---- */

/* Wall-clock seconds. A C runtime without C11's timespec_get (older
 * Windows ones) falls back to clock(), which counts wall time there. */
static double Seconds(void) {
#ifdef TIME_UTC
    struct timespec now;
    if (timespec_get(&now, TIME_UTC) == 0) {
        return 0.0;
    }
    return (double)now.tv_sec + (double)now.tv_nsec / 1e9;
#else
    return (double)clock() / CLOCKS_PER_SEC;
#endif
}

static int ReserveInput(Input* input, size_t extra) {
    if (extra > SIZE_MAX - input->length) {
        return 0;
    }
    const size_t needed = input->length + extra;
    if (needed <= input->capacity) {
        return 1;
    }
    const size_t doubled = input->capacity <= SIZE_MAX / 2 ? 2 * input->capacity : SIZE_MAX;
    const size_t capacity = doubled > needed ? doubled : needed;
    char* const bytes = realloc(input->bytes, capacity);
    if (bytes == NULL) {
        return 0;
    }
    input->bytes = bytes;
    input->capacity = capacity;
    return 1;
}

static ParseResult FeedPieces(FILE* in, size_t piece, KivoParserHandle parser, Input* input,
                              int* readError) {
    while (!input->reachedEnd) {
        if (!ReserveInput(input, piece)) {
            return PARSE_NO_MEMORY;
        }
        char* const start = input->bytes + input->length;
        errno = 0;
        const size_t got = fread(start, 1, piece, in);
        if (ferror(in)) {
            *readError = errno != 0 ? errno : EIO;
            return PARSE_READ_ERROR;
        }
        input->length += got;
        input->reachedEnd = feof(in) != 0;
        if (!nkParserKivoBuffer(parser, start, (int)got, input->reachedEnd)) {
            return PARSE_REFUSED;
        }
    }
    return PARSE_ACCEPTED;
}

/* On success the host owns *tree and destroys it with nkDeleteKivoTag. */
static ParseResult ParseStream(FILE* in, size_t piece, Input* input, KivoTagHandle* tree,
                               int* readError) {
    KivoParserHandle parser = nkCreateKivoParser();
    if (parser == NULL) {
        return PARSE_NO_MEMORY;
    }
    ParseResult result = FeedPieces(in, piece, parser, input, readError);
    if (result == PARSE_ACCEPTED) {
        /* Detached, the tree outlives the parser deleted below. */
        *tree = nkGetParserKivo(parser, 1);
        if (*tree == NULL) {
            result = PARSE_REFUSED;
        }
    }
    nkDeleteKivoParser(parser);
    return result;
}

/* ---- Reporting a refused document ---- */

typedef struct Fault {
    unsigned long long line;
    unsigned long long column;
    const char* message;
} Fault;

/* Gives expat the same pieces with the same final flag as the library got,
 * so it stops where the library stopped. Returns 1 and fills *fault when
 * expat refuses the text, 0 when it accepts it or cannot start. */
static int FindFault(const Input* input, size_t piece, Fault* fault) {
    XML_Parser expat = XML_ParserCreate(NULL);
    int refused = 0;
    size_t offset = 0;
    while (expat != NULL && !refused) {
        const size_t rest = input->length - offset;
        const size_t size = rest < piece ? rest : piece;
        const int isFinal = input->reachedEnd && size < piece;
        refused = XML_Parse(expat, input->bytes + offset, (int)size, isFinal) == XML_STATUS_ERROR;
        offset += size;
        if (isFinal || (offset == input->length && !input->reachedEnd)) {
            break;
        }
    }
    if (refused) {
        fault->line = (unsigned long long)XML_GetCurrentLineNumber(expat);
        fault->column = (unsigned long long)XML_GetCurrentColumnNumber(expat) + 1;
        fault->message = XML_ErrorString(XML_GetErrorCode(expat));
    }
    XML_ParserFree(expat);
    return refused;
}

static int ReportNoMemory(const char* name) {
    fprintf(stderr, "kivo-dump: %s: out of memory\n", name);
    return EXIT_TROUBLE;
}

static int ReportRefusal(const char* name, const Input* input, size_t piece) {
    Fault fault;
    if (!FindFault(input, piece, &fault)) {
        /* The library refuses text that expat accepts only when it ran out
         * of memory while building the tree. */
        return ReportNoMemory(name);
    }
    fprintf(stderr, "kivo-dump: %s: not well-formed: line %llu, column %llu: %s\n", name,
            fault.line, fault.column, fault.message);
    return EXIT_REFUSED;
}

static int ReportSystemError(const char* name, int error) {
    fprintf(stderr, "kivo-dump: %s: %s\n", name, strerror(error));
    return EXIT_TROUBLE;
}

/* ---- Walking and printing the tree ---- */

static int ReserveFrames(Walk* walk, size_t count) {
    if (count <= walk->capacity) {
        return 1;
    }
    const size_t capacity = walk->capacity == 0 ? 64 : 2 * walk->capacity;
    if (capacity > SIZE_MAX / sizeof(Frame)) {
        return 0;
    }
    Frame* const frames = realloc(walk->frames, capacity * sizeof(Frame));
    if (frames == NULL) {
        return 0;
    }
    walk->frames = frames;
    walk->capacity = capacity;
    return 1;
}

/* Visits every tag of the tree in document order, a tag before its sub
 * tags; the top tag has depth 1. Returns 0 when the stack cannot grow; a
 * second walk of the same tree never needs to grow it. */
static int WalkTree(Walk* walk, KivoTagHandle top, VisitTag visit, void* context) {
    size_t depth = 1;
    if (!ReserveFrames(walk, depth)) {
        return 0;
    }
    walk->frames[0].tag = top;
    walk->frames[0].nextSubTag = 0;
    visit(top, depth, context);
    while (depth > 0) {
        Frame* const frame = &walk->frames[depth - 1];
        if (frame->nextSubTag == nkGetKivoTagSubTagCount(frame->tag)) {
            --depth;
            continue;
        }
        KivoTagHandle const subTag = nkGetKivoTagSubTag(frame->tag, frame->nextSubTag++, 0);
        if (!ReserveFrames(walk, depth + 1)) {
            return 0;
        }
        walk->frames[depth].tag = subTag;
        walk->frames[depth].nextSubTag = 0;
        ++depth;
        visit(subTag, depth, context);
    }
    return 1;
}

static void CountTag(KivoTagHandle tag, size_t depth, void* context) {
    Counts* const counts = context;
    ++counts->tags;
    counts->attrs += (unsigned long long)nkGetKivoTagAttrCount(tag);
    if (depth > counts->maxDepth) {
        counts->maxDepth = depth;
    }
}

/* Returns the escape for a byte that must not appear as it is, else NULL.
 * `spare` receives a \xHH escape. */
static const char* EscapeOf(unsigned char byte, char spare[5]) {
    static const char hex[] = "0123456789ABCDEF";
    switch (byte) {
    case '\\':
        return "\\\\";
    case '"':
        return "\\\"";
    case '\t':
        return "\\t";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    default:
        break;
    }
    if (byte >= 0x20 && byte != 0x7F) {
        return NULL;
    }
    spare[0] = '\\';
    spare[1] = 'x';
    spare[2] = hex[byte >> 4];
    spare[3] = hex[byte & 0x0F];
    spare[4] = '\0';
    return spare;
}

static void PrintEscaped(FILE* out, const char* text) {
    const char* plain = text;
    for (const char* at = text; *at != '\0'; ++at) {
        char spare[5];
        const char* const escape = EscapeOf((unsigned char)*at, spare);
        if (escape != NULL) {
            fwrite(plain, 1, (size_t)(at - plain), out);
            fputs(escape, out);
            plain = at + 1;
        }
    }
    fputs(plain, out);
}

static void PrintIndent(FILE* out, size_t depth) {
    const size_t level = depth < INDENT_LEVELS ? depth : INDENT_LEVELS;
    for (size_t i = 1; i < level; ++i) {
        fputs("  ", out);
    }
    if (depth > INDENT_LEVELS) {
        fprintf(out, "[%llu] ", (unsigned long long)depth);
    }
}

static void PrintTag(KivoTagHandle tag, size_t depth, void* context) {
    FILE* const out = context;
    const int attrCount = nkGetKivoTagAttrCount(tag);
    const char* const value = nkGetKivoTagValue(tag);
    PrintIndent(out, depth);
    PrintEscaped(out, nkGetKivoTagName(tag));
    for (int i = 0; i < attrCount; ++i) {
        putc(' ', out);
        PrintEscaped(out, nkGetKivoTagAttrName(tag, i));
        fputs("=\"", out);
        PrintEscaped(out, nkGetKivoTagAttrValue(tag, i));
        putc('"', out);
    }
    if (value[0] != '\0') {
        fputs(" = \"", out);
        PrintEscaped(out, value);
        putc('"', out);
    }
    putc('\n', out);
}

static void PrintStats(const char* name, const Counts* counts, size_t bytes, double seconds) {
    fprintf(stderr, "kivo-dump: %s: %llu tags, %llu attributes, max depth %llu, %llu bytes, %.6f s",
            name, counts->tags, counts->attrs, (unsigned long long)counts->maxDepth,
            (unsigned long long)bytes, seconds);
    if (seconds > 0.0) {
        fprintf(stderr, ", %.1f MB/s\n", (double)bytes / 1e6 / seconds);
    } else {
        fputs(", too fast to rate\n", stderr);
    }
}

/* The first walk counts and grows the stack; only then does anything go to
 * standard output, so a failure never leaves a half-printed outline. */
static int PrintTree(const char* name, KivoTagHandle tree, const Input* input, double seconds,
                     const Options* options) {
    Walk walk = {NULL, 0};
    Counts counts = {0, 0, 0};
    const int counted = WalkTree(&walk, tree, CountTag, &counts);
    if (counted && !options->quiet) {
        if (options->headed) {
            fprintf(stdout, "# %s\n", name);
        }
        WalkTree(&walk, tree, PrintTag, stdout);
    }
    free(walk.frames);
    if (!counted) {
        return ReportNoMemory(name);
    }
    if (options->stats) {
        PrintStats(name, &counts, input->length, seconds);
    }
    return EXIT_SUCCESS;
}

/* ---- One file ---- */

static FILE* OpenInput(const char* path) {
    return strcmp(path, "-") == 0 ? stdin : fopen(path, "rb");
}

static int DumpFile(const char* path, const Options* options) {
    const char* const name = strcmp(path, "-") == 0 ? "standard input" : path;
    FILE* const in = OpenInput(path);
    if (in == NULL) {
        return ReportSystemError(name, errno);
    }
    Input input = {NULL, 0, 0, 0};
    KivoTagHandle tree = NULL;
    int readError = 0;
    const double start = Seconds();
    const ParseResult result = ParseStream(in, options->piece, &input, &tree, &readError);
    const double seconds = Seconds() - start;
    if (in != stdin) {
        fclose(in);
    }
    int status = EXIT_TROUBLE;
    switch (result) {
    case PARSE_ACCEPTED:
        status = PrintTree(name, tree, &input, seconds, options);
        break;
    case PARSE_REFUSED:
        status = ReportRefusal(name, &input, options->piece);
        break;
    case PARSE_READ_ERROR:
        status = ReportSystemError(name, readError);
        break;
    case PARSE_NO_MEMORY:
        status = ReportNoMemory(name);
        break;
    }
    nkDeleteKivoTag(tree);
    free(input.bytes);
    return status;
}

/* Without this, Windows would turn line ends into CR LF on output and read
 * standard input as text, changing the bytes the library gets. */
static void UseBinaryStreams(void) {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

static int FinishOutput(int status) {
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fprintf(stderr, "kivo-dump: standard output: %s\n", strerror(errno));
        return EXIT_TROUBLE;
    }
    return status;
}

int main(int argc, char** argv) {
    Options options;
    int fileCount = 0;
    switch (ParseOptions(argc, argv, &options, &fileCount)) {
    case OPTIONS_HELP:
        printf("%s\n%s", USAGE, HELP);
        return FinishOutput(EXIT_SUCCESS);
    case OPTIONS_BAD:
        return EXIT_TROUBLE;
    case OPTIONS_RUN:
        break;
    }
    UseBinaryStreams();
    int status = EXIT_SUCCESS;
    for (int i = 1; i <= fileCount; ++i) {
        const int fileStatus = DumpFile(argv[i], &options);
        if (fileStatus > status) {
            status = fileStatus;
        }
    }
    return FinishOutput(status);
}
