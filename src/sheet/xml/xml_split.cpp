#include "sheet/xml/xml_split.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "sheet/xml/xml_tokenizer.h"

namespace dialsift::sheet {

namespace {

constexpr std::size_t kPiece = std::size_t{64} << 10;
// A head longer than this, or a stretch that finds no child to end before
// within the second bound, leaves the rest of the document to one parser.
constexpr std::size_t kMaxHead = std::size_t{64} << 10;
constexpr std::size_t kMaxStretch = std::size_t{64} << 20;
constexpr std::size_t kShortHead = std::size_t{4} << 10;
// Stretches read and not yet handed on, per parsing thread. Four leave the
// caller a stretch of its own to parse while it waits for the one a thread
// has taken, where two often left it nothing to do (the big workbook at
// default jobs: 0.142 s against 0.146 s, best of 25; 1.5 MB more at peak).
constexpr std::size_t kAheadPerThread = 4;

bool EndsName(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' || c == '/';
}

// Whether the tag `tag` ("<x:row") begins at `at` in `bytes`, its name whole.
bool TagAt(std::string_view bytes, std::size_t at, std::string_view tag) {
  return at + tag.size() < bytes.size() && EndsName(bytes[at + tag.size()]) &&
         bytes.compare(at, tag.size(), tag) == 0;
}

// The first child of the container in `bytes`, and its tag with the prefix
// the container's start tag has ("<x:row" after "<x:sheetData").
struct FirstChild {
  std::size_t at = std::string_view::npos;
  std::string tag;
};

FirstChild FindFirstChild(std::string_view bytes, std::string_view container,
                          std::string_view child) {
  for (std::size_t c = bytes.find(container); c != std::string_view::npos;
       c = bytes.find(container, c + 1)) {
    if (c == 0 || !TagAt(bytes, c, container)) continue;
    std::size_t lt = c - 1;
    if (bytes[lt] == ':') {
      while (lt > 0 && bytes[lt] != '<' && !EndsName(bytes[lt]) && bytes[lt] != '"' &&
             bytes[lt] != '\'')
        --lt;
    }
    if (bytes[lt] != '<') continue;
    FirstChild found;
    found.tag = "<";
    found.tag += bytes.substr(lt + 1, c - lt - 1);
    found.tag += child;
    for (std::size_t at = bytes.find(found.tag, c); at != std::string_view::npos;
         at = bytes.find(found.tag, at + 1)) {
      if (TagAt(bytes, at, found.tag)) {
        found.at = at;
        return found;
      }
    }
    return {};
  }
  return {};
}

// Where the last child tag at `from` or after (never at 0) begins, or npos.
std::size_t LastChild(std::string_view bytes, std::string_view tag, std::size_t from) {
  from = std::max<std::size_t>(from, 1);
  for (std::size_t at = bytes.rfind(tag); at != std::string_view::npos && at >= from;
       at = bytes.rfind(tag, at - 1)) {
    if (TagAt(bytes, at, tag)) return at;
  }
  return std::string_view::npos;
}

struct Parser {
  std::unique_ptr<SplitHandler> handler;
  std::unique_ptr<XmlTokenizer> tokenizer;
};

// Hands `bytes` to the parser; `last` when the document ends with them.
// False once parsing is over.
bool Feed(XmlTokenizer& tokenizer, std::string_view bytes, bool last) {
  std::size_t done = 0;
  while (true) {
    const std::size_t n = std::min(kPiece, bytes.size() - done);
    const std::span<char> space = tokenizer.Space(n);
    if (n > 0) std::memcpy(space.data(), bytes.data() + done, n);
    tokenizer.Commit(n);
    done += n;
    if (!tokenizer.Parse(last && done == bytes.size())) return false;
    if (done == bytes.size()) return true;
  }
}

// The outcome when the read after the bytes received failed: what came
// before is parsed first, and may have failed first.
Status Failed(XmlTokenizer& tokenizer, const Error& error) {
  tokenizer.ParseReceived();
  const Status status = tokenizer.Outcome();
  return status ? Status(error) : status;
}

// The rest of the document, read and parsed as ParseXml does.
Status ReadRest(XmlTokenizer& tokenizer, const XmlRead& read) {
  while (true) {
    auto n = read(tokenizer.Space(kPiece));
    if (!n) return Failed(tokenizer, n.error());
    tokenizer.Commit(*n);
    if (!tokenizer.Parse(*n == 0)) break;
  }
  return tokenizer.Outcome();
}

struct Stretch {
  Parser parser;
  bool ahead = false;               // parsed ahead; else read at its turn by the one parser
  bool last = false;                // the document ends with it
  bool rest = false;                // the rest of the document follows it, read at its turn
  std::optional<Error> read_error;  // the read after its bytes failed
  // Set once it is parsed ahead:
  bool ok = false;  // its findings may stand
  std::uint64_t lines = 0;
  bool parsed = false;  // under the crew's lock
};

void ParseAhead(Stretch& s) {
  XmlTokenizer& tokenizer = *s.parser.tokenizer;
  try {
    tokenizer.Parse(s.last);
    s.ok = tokenizer.Outcome().ok() && !s.parser.handler->Done() && s.parser.handler->Independent();
  } catch (...) {
    // Read again by the one parser, which meets the same trouble.
    s.ok = false;
  }
  s.lines = CountLineBreaks(tokenizer.Received());
}

// The threads that parse stretches ahead. The caller parses a stretch itself
// when it needs one that no thread has taken yet, so that no thread at all
// still gets the work done.
class Crew {
 public:
  explicit Crew(unsigned threads) {
    try {
      for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer threads: the caller takes up the slack.
    }
  }
  ~Crew() {
    {
      const std::lock_guard hold(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (auto& t : threads_) t.join();
  }

  void Add(Stretch& s) {
    {
      const std::lock_guard hold(mutex_);
      queue_.push_back(&s);
    }
    work_.notify_one();
  }

  // Returns once `s` is parsed, parsing what waits meanwhile.
  void Await(Stretch& s) {
    std::unique_lock hold(mutex_);
    while (!s.parsed) {
      if (queue_.empty()) {
        done_.wait(hold);
      } else {
        ParseNext(hold);
      }
    }
  }

 private:
  void Work() {
    std::unique_lock hold(mutex_);
    while (true) {
      work_.wait(hold, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      ParseNext(hold);
    }
  }

  // Parses the first stretch waiting, the lock let go meanwhile.
  void ParseNext(std::unique_lock<std::mutex>& hold) {
    Stretch* s = queue_.front();
    queue_.pop_front();
    hold.unlock();
    ParseAhead(*s);
    hold.lock();
    s->parsed = true;
    done_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Stretch*> queue_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

class Splitter {
 public:
  Splitter(const XmlRead& read, std::string_view part,
           const std::function<std::unique_ptr<SplitHandler>()>& make, const SplitOptions& options)
      : read_(read), part_(part), make_(make), options_(options) {}

  Status Run() {
    // The head: the bytes before the container's first child.
    std::string head;
    FirstChild first;
    std::optional<Error> read_error;
    bool end = false;
    while (true) {
      const std::size_t had = head.size();
      head.resize(had + kPiece);
      auto n = read_(std::span<char>(head.data() + had, kPiece));
      head.resize(had + (n ? *n : 0));
      if (!n) {
        read_error = n.error();
        break;
      }
      if (*n == 0) {
        end = true;
        break;
      }
      first = FindFirstChild(head, options_.container, options_.child);
      if (first.at != std::string_view::npos || head.size() >= kMaxHead) break;
    }
    if (read_error || end || first.at == std::string_view::npos || first.at > kMaxHead ||
        XmlTokenizer::WantsOtherParser(head)) {
      // Nothing to split: one parser reads it all.
      const auto handler = make_();
      return ParseXml(
          head,
          [&](std::span<char> out) -> Result<std::size_t> {
            if (read_error) return *read_error;
            if (end) return std::size_t{0};
            return read_(out);
          },
          part_, *handler);
    }
    head_ = std::string_view(head).substr(0, first.at);
    // Every stretch's parser reads the head first: a long head (many
    // column widths) makes for long stretches.
    stretch_ = options_.stretch;
    if (head_.size() > kShortHead) stretch_ = std::max(stretch_, 16 * head_.size());
    tag_ = first.tag;
    carry_ = head.substr(first.at);

    // The one parser reads the whole document, but for the stretches whose
    // findings stand: it then takes the place of their parser.
    Parser one = NewParser();
    if (!Feed(*one.tokenizer, head_, false)) return one.tokenizer->Outcome();
    // The state every stretch's parser begins in.
    Parser reference = NewParser();
    reference.handler->ReadAhead();
    Feed(*reference.tokenizer, head_, false);
    if (!one.tokenizer->Between() || !reference.tokenizer->Between()) {
      if (!Feed(*one.tokenizer, carry_, false)) return one.tokenizer->Outcome();
      return ReadRest(*one.tokenizer, read_);
    }

    std::deque<std::unique_ptr<Stretch>> flight;
    Crew crew(options_.threads);
    const std::size_t most = kAheadPerThread * (options_.threads + 1);
    bool reading = true;
    std::uint64_t lines_before = 0;  // in the stretches handed on
    while (true) {
      while (reading && flight.size() < most) {
        flight.push_back(NextStretch());
        Stretch& s = *flight.back();
        reading = !s.last && !s.rest && !s.read_error;
        if (s.ahead) crew.Add(s);
      }
      Stretch& s = *flight.front();
      if (s.ahead) crew.Await(s);
      const bool stands = s.ahead && s.ok && one.tokenizer->Between() &&
                          one.tokenizer->SameScope(*reference.tokenizer) &&
                          one.handler->SameState(*reference.handler);
      if (options_.counts) ++(stands ? options_.counts->stood : options_.counts->read_again);
      if (stands) {
        s.parser.tokenizer->AddLinesBefore(lines_before);
        Recycle(std::move(one));
        one = std::move(s.parser);
        if (!one.handler->HandOn()) return Status::Ok();  // asked to stop
      } else {
        const bool on = Feed(*one.tokenizer, s.parser.tokenizer->Received(), s.last);
        Recycle(std::move(s.parser));
        if (!on && !s.last) return one.tokenizer->Outcome();
        if (s.rest) {
          if (!Feed(*one.tokenizer, carry_, false)) return one.tokenizer->Outcome();
          return ReadRest(*one.tokenizer, read_);
        }
      }
      lines_before += s.lines;
      if (s.last) return one.tokenizer->Outcome();
      if (s.read_error) return Failed(*one.tokenizer, *s.read_error);
      flight.pop_front();
    }
  }

 private:
  Parser NewParser() {
    Parser p;
    if (handlers_.empty()) {
      p.handler = make_();
    } else {
      p.handler = std::move(handlers_.back());
      handlers_.pop_back();
      p.handler->Restart();
    }
    std::pair<std::unique_ptr<char[]>, std::size_t> buffer;
    if (!buffers_.empty()) {
      buffer = std::move(buffers_.back());
      buffers_.pop_back();
    }
    p.tokenizer =
        std::make_unique<XmlTokenizer>(part_, *p.handler, std::move(buffer.first), buffer.second);
    return p;
  }

  void Recycle(Parser p) {
    if (!p.tokenizer) return;
    buffers_.push_back(p.tokenizer->ReleaseBuffer());
    p.tokenizer.reset();
    handlers_.push_back(std::move(p.handler));
  }

  // The next stretch: the bytes carried over, then what the reads bring, up
  // to about a stretch's size and cut before the last child tag in them.
  std::unique_ptr<Stretch> NextStretch() {
    auto s = std::make_unique<Stretch>();
    s->parser = NewParser();
    XmlTokenizer& tokenizer = *s->parser.tokenizer;
    if (options_.spare && !options_.spare()) {
      // The second core is taken: the rest of the document, the bytes
      // carried over first, goes to the one parser in its turn, uncopied.
      s->rest = true;
      return s;
    }
    s->parser.handler->ReadAhead();
    Feed(tokenizer, head_, false);
    s->parser.handler->ReadAhead();  // what the head held is not the stretch's

    // Room for all at once, as a rule: Space drops the head first.
    tokenizer.Space(std::max(stretch_, carry_.size()) + 2 * kPiece);
    std::memcpy(tokenizer.Room().data(), carry_.data(), carry_.size());
    tokenizer.Commit(carry_.size());
    carry_.clear();
    std::size_t looked = 0;  // bytes searched in vain for a child, but a tag's length
    while (true) {
      const std::string_view got = tokenizer.Received();
      if (got.size() >= stretch_) {
        const std::size_t cut = LastChild(got, tag_, looked);
        looked = got.size() - std::min(got.size(), tag_.size());
        if (cut != std::string_view::npos) {
          carry_.assign(got.substr(cut));
          tokenizer.Unreceive(got.size() - cut);
          break;
        }
        if (got.size() >= kMaxStretch) {
          s->rest = true;
          break;
        }
      }
      if (tokenizer.Room().size() < kPiece) tokenizer.Space(got.size());
      auto n = read_(tokenizer.Room());
      if (!n) {
        s->read_error = n.error();
        break;
      }
      if (*n == 0) {
        s->last = true;
        break;
      }
      tokenizer.Commit(*n);
    }
    s->ahead = !s->rest;
    return s;
  }

  const XmlRead& read_;
  std::string_view part_;
  const std::function<std::unique_ptr<SplitHandler>()>& make_;
  const SplitOptions& options_;
  std::string_view head_;
  std::size_t stretch_ = 0;
  std::string tag_;    // of the container's children
  std::string carry_;  // read, for the next stretch
  // Kept for the next stretches.
  std::vector<std::pair<std::unique_ptr<char[]>, std::size_t>> buffers_;
  std::vector<std::unique_ptr<SplitHandler>> handlers_;
};

}  // namespace

Status ParseXmlSplit(const XmlRead& read, std::string_view part,
                     const std::function<std::unique_ptr<SplitHandler>()>& make,
                     const SplitOptions& options) {
  return Splitter(read, part, make, options).Run();
}

}  // namespace dialsift::sheet
