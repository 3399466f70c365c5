#include "core/command_line.h"

#include <cstddef>

namespace {

bool isSeparator(char16_t c)
{
    return c == u' ' || c == u'\t';
}

// The tokenizer walks the text once, one character (or one run of backslashes) at a time.
//
//                   +-----------+  "   +-----------+
//    space/tab ---> |  BETWEEN  |----->|  QUOTED   | <-- space/tab and other are kept
//    (skipped)      +-----------+      +-----------+
//                         |   ^            ^    |
//                   other |   | space/tab  | "  | "
//                         v   |  (emit)    |    v
//                   +-----------+      +-------------+
//                   | UNQUOTED  |<-----| AFTER_CLOSE |--- space/tab (emit) ---> BETWEEN
//    other kept --> +-----------+      +-------------+
//                            other, or " (kept as a literal quote)
//
// BETWEEN     no argument open; separators are skipped. A quote opens an argument, possibly
//             an empty one, in QUOTED; anything else opens one in UNQUOTED.
// UNQUOTED    inside an argument, outside quotes: a separator ends the argument, a quote
//             opens a quoted section.
// QUOTED      inside a quoted section: everything but the closing quote is kept.
// AFTER_CLOSE a quoted section has just closed. A quote right here is a literal quote and does
//             not reopen the section (so "a""b" reads as a"b); anything else acts as in UNQUOTED.
//
// With backslash rules a run of backslashes is read as a whole: when a quote follows, the run
// gives half its backslashes and an odd run also turns the quote into a literal one; without a
// following quote the run is kept as written. Whenever a character lands in the argument,
// BETWEEN and AFTER_CLOSE give way to UNQUOTED (QUOTED stays QUOTED), so a quote that follows
// backslashes never counts as following a closing quote.
//
// At the end of the text an open argument is emitted, so an unterminated or empty quoted
// section still yields an argument; BETWEEN emits nothing, so empty text yields none.
enum class State { Between, Unquoted, Quoted, AfterClose };

struct Tokenizer {
    explicit Tokenizer(std::vector<std::u16string>& out) : arguments(out) {}

    std::vector<std::u16string>& arguments;
    State state = State::Between;
    std::u16string current;

    void append(char16_t c, size_t count = 1)
    {
        current.append(count, c);
        if (state != State::Quoted)
            state = State::Unquoted;
    }

    void emit()
    {
        arguments.push_back(current);
        current.clear();
        state = State::Between;
    }

    // A quote that delimits (not one made literal by backslashes).
    void quote()
    {
        switch (state) {
        case State::Between:
        case State::Unquoted:
            state = State::Quoted;
            break;
        case State::Quoted:
            state = State::AfterClose;
            break;
        case State::AfterClose:
            append(u'"');
            break;
        }
    }

    void separator(char16_t c)
    {
        if (state == State::Quoted)
            current.push_back(c);
        else if (state != State::Between)
            emit();
    }
};

}  // namespace

void splitCommandLine(const std::u16string& text, std::vector<std::u16string>& arguments, bool backslashRules)
{
    Tokenizer tokenizer(arguments);
    size_t i = 0;
    while (i < text.size()) {
        char16_t c = text[i];
        if (c == u'\\' && backslashRules) {
            size_t run = 0;
            while (i < text.size() && text[i] == u'\\') {
                ++run;
                ++i;
            }
            if (i < text.size() && text[i] == u'"') {
                if (run / 2 > 0)
                    tokenizer.append(u'\\', run / 2);
                if (run % 2 == 1) {
                    tokenizer.append(u'"');
                    ++i;
                }
                // An even run leaves the quote to the next round, where it delimits.
            } else {
                tokenizer.append(u'\\', run);
            }
            continue;
        }
        if (c == u'"') {
            tokenizer.quote();
        } else if (isSeparator(c)) {
            tokenizer.separator(c);
        } else {
            tokenizer.append(c);
        }
        ++i;
    }
    if (tokenizer.state != State::Between)
        tokenizer.emit();
}
