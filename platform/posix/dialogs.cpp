// POSIX backend of platform/dialogs.h: text dialogs on the controlling
// terminal. Sections: the terminal (raw keys, VT100 output); the thread
// hand-over of calls to the dialog's thread; drawing; the dialog windows
// (modal loop and modeless); message boxes and the folder prompt.
//
// Without a terminal nothing is drawn: a modal dialog still carries out
// the calls handed to it until it is ended, message texts go to stderr,
// and questions are answered Cancel.
#include "platform/dialogs.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/file_system.h"
#include "platform/interruption.h"

namespace platform {
namespace {

// ---- The terminal.

enum Key { KEY_NONE = -1, KEY_EOF = -2, KEY_ESC = 27, KEY_ENTER = 13, KEY_TAB = 9, KEY_BACKTAB = 1000,
           KEY_LEFT, KEY_RIGHT, KEY_UP, KEY_DOWN, KEY_BACKSPACE };

class Terminal {
 public:
  // Opens /dev/tty in raw mode; false when the process has no terminal.
  bool open() {
    if (fd_ >= 0) {
      ++users_;
      return true;
    }
    fd_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return false;
    if (tcgetattr(fd_, &saved_) != 0) {
      ::close(fd_);
      fd_ = -1;
      return false;
    }
    users_ = 1;
    set_raw(true);
    return true;
  }
  // Raw keys while a dialog or box is up; the user's own settings while a
  // dialog is hidden, so that a program run meanwhile (the installer) finds
  // the terminal as it expects.
  void set_raw(bool raw_mode) {
    if (fd_ < 0) return;
    raw_ = raw_mode;
    if (!raw_mode) {
      tcsetattr(fd_, TCSANOW, &saved_);
      return;
    }
    termios raw = saved_;
    // Ctrl-C arrives as a key (and means Cancel) rather than killing the
    // program with the terminal left in raw mode.
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
    raw.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | INLCR));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &raw);
  }
  bool is_raw() const { return raw_; }
  void close() {
    if (fd_ < 0 || --users_ > 0) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    ::close(fd_);
    fd_ = -1;
  }
  int fd() const { return fd_; }
  // The alternate screen is in use (a dialog is drawn on it).
  bool alt_screen = false;

  void write(const std::string& s) {
    size_t at = 0;
    while (fd_ >= 0 && at < s.size()) {
      ssize_t n = ::write(fd_, s.data() + at, s.size() - at);
      if (n > 0) {
        at += static_cast<size_t>(n);
      } else if (n < 0 && errno != EINTR) {
        return;
      }
    }
  }

  void size(int& rows, int& cols) {
    winsize ws{};
    rows = 24;
    cols = 80;
    if (fd_ >= 0 && ioctl(fd_, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
      rows = ws.ws_row;
      cols = ws.ws_col;
    }
  }

  // One key, or KEY_NONE when none arrives within `timeout_ms` (-1: wait).
  int read_key(int timeout_ms) {
    int c = read_byte(timeout_ms);
    if (c < 0) return c;
    if (c == 27) {
      int next = read_byte(40);
      if (next == KEY_NONE || next == KEY_EOF) return KEY_ESC;
      if (next != '[' && next != 'O') return KEY_NONE;
      int final_byte;
      do {
        final_byte = read_byte(40);
      } while (final_byte >= 0 && !(final_byte >= 0x40 && final_byte <= 0x7e));
      switch (final_byte) {
        case 'A': return KEY_UP;
        case 'B': return KEY_DOWN;
        case 'C': return KEY_RIGHT;
        case 'D': return KEY_LEFT;
        case 'Z': return KEY_BACKTAB;
        default: return KEY_NONE;
      }
    }
    if (c == '\r' || c == '\n') return KEY_ENTER;
    if (c == 3) return KEY_ESC;
    if (c == 127 || c == 8) return KEY_BACKSPACE;
    return c;
  }

 private:
  // Waiting without a limit ends, as at the end of input, when an
  // interruption has come: nobody is going to answer then.
  int read_byte(int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    int r;
    for (;;) {
      r = ::poll(&p, 1, timeout_ms < 0 ? 250 : timeout_ms);
      if (r < 0 && errno == EINTR) continue;
      if (timeout_ms >= 0 || r != 0) break;
      if (interruptions().interrupted()) return KEY_EOF;
    }
    if (r == 0) return KEY_NONE;
    if (r < 0) return KEY_EOF;
    unsigned char b;
    ssize_t n;
    do {
      n = ::read(fd_, &b, 1);
    } while (n < 0 && errno == EINTR);
    return n == 1 ? static_cast<int>(b) : static_cast<int>(KEY_EOF);
  }

  int fd_ = -1;
  int users_ = 0;
  bool raw_ = false;
  termios saved_{};
};

Terminal& TheTerminal() {
  static Terminal t;
  return t;
}
// One thread at a time draws or reads keys.
std::recursive_mutex& TerminalLock() {
  static std::recursive_mutex m;
  return m;
}

// ---- Hand-over of calls to the dialog's thread.

class Invoker {
 public:
  Invoker() : owner_(std::this_thread::get_id()) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
  }
  ~Invoker() {
    if (wake_[0] >= 0) ::close(wake_[0]);
    if (wake_[1] >= 0) ::close(wake_[1]);
  }
  // Runs `fn` on the owner thread and waits for it. After close() calls
  // from other threads do nothing: nobody would carry them out.
  void invoke(const std::function<void()>& fn) {
    if (std::this_thread::get_id() == owner_) {
      fn();
      return;
    }
    // The caller waits on the job alone: once the owner has carried it out,
    // the window and this invoker may be gone before the caller wakes up
    // (the worker's last call ends the dialog).
    auto job = std::make_shared<Job>();
    job->fn = &fn;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_) return;
      queue_.push_back(job);
      if (wake_[1] >= 0) {
        char b = 1;
        (void)!::write(wake_[1], &b, 1);
      }
    }
    std::unique_lock<std::mutex> lock(job->mutex);
    job->finished.wait(lock, [&] { return job->done; });
  }
  // On the owner thread: carries out every waiting call.
  void run_pending() {
    char drain[64];
    while (wake_[0] >= 0 && ::read(wake_[0], drain, sizeof drain) > 0) {
    }
    for (;;) {
      std::shared_ptr<Job> job;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queue_.empty()) return;
        job = queue_.front();
        queue_.pop_front();
      }
      (*job->fn)();
      std::lock_guard<std::mutex> lock(job->mutex);
      job->done = true;
      job->finished.notify_all();
    }
  }
  // Closed first, then drained: a call queued meanwhile is still carried out.
  void close() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    run_pending();
  }
  int wake_fd() const { return wake_[0]; }

 private:
  struct Job {
    const std::function<void()>* fn = nullptr;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
  };
  std::thread::id owner_;
  std::mutex mutex_;  // guards queue_ and closed_
  std::deque<std::shared_ptr<Job>> queue_;
  bool closed_ = false;
  int wake_[2] = {-1, -1};
};

// ---- Drawing.

const char kReset[] = "\033[0m";
const char kInverse[] = "\033[7m";
const char kDim[] = "\033[2m";

std::string MoveTo(int row, int col) {
  return "\033[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H";
}

std::string Fit(const std::string& s, int width) {
  if (width <= 0) return std::string();
  std::string out = s.substr(0, static_cast<size_t>(width));
  out.resize(static_cast<size_t>(width), ' ');
  return out;
}

std::string Centre(const std::string& s, int width) {
  if (width <= 0) return std::string();
  std::string t = s.substr(0, static_cast<size_t>(width));
  int left = (width - static_cast<int>(t.size())) / 2;
  return Fit(std::string(static_cast<size_t>(left), ' ') + t, width);
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = s.find('\n', start);
    lines.push_back(s.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

// Word-wraps `s` to `width` columns (explicit line ends kept).
std::vector<std::string> Wrap(const std::string& s, int width) {
  std::vector<std::string> out;
  for (std::string line : SplitLines(s)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (static_cast<int>(line.size()) > width && width > 0) {
      size_t cut = line.rfind(' ', static_cast<size_t>(width));
      if (cut == std::string::npos || cut == 0) cut = static_cast<size_t>(width);
      out.push_back(line.substr(0, cut));
      // The blank at the break goes, whether it falls inside or just past the width.
      line = line.substr(cut < line.size() && line[cut] == ' ' ? cut + 1 : cut);
    }
    out.push_back(line);
  }
  return out;
}

struct ControlState {
  DialogControl spec;
  std::string text;
  int progress = 0;
  bool visible = true;
  bool enabled = true;
};

bool IsButton(const ControlState& c) {
  return c.spec.kind == ControlKind::button || c.spec.kind == ControlKind::default_button;
}

// A dialog's content and how it is drawn; touched only by its own thread.
class DialogModel {
 public:
  explicit DialogModel(const DialogTemplate& t) : template_(t) {
    for (const DialogControl& c : t.controls) {
      ControlState s;
      s.spec = c;
      s.text = c.text;
      controls_.push_back(s);
    }
    focus_ = FirstButton();
  }

  ControlState* find(int id) {
    for (ControlState& c : controls_) {
      if (c.spec.id == id && id != 0) return &c;
    }
    return nullptr;
  }

  int cols() const { return std::max(template_.width / 4, static_cast<int>(template_.caption.size()) + 4); }
  int rows() const { return std::max(template_.height / 8, 3); }

  // Top-left cell of the frame on a terminal of the given size.
  void origin(int term_rows, int term_cols, int& top, int& left) const {
    top = std::max(0, (term_rows - (rows() + 2)) / 2);
    left = std::max(0, (term_cols - (cols() + 2)) / 2);
  }

  std::string render(int term_rows, int term_cols) const {
    int top, left;
    origin(term_rows, term_cols, top, left);
    const int w = cols();
    std::vector<std::string> canvas(static_cast<size_t>(rows()), std::string(static_cast<size_t>(w), ' '));
    std::vector<std::vector<std::pair<int, int>>> inverse(canvas.size());  // (col, len) runs
    std::vector<std::vector<std::pair<int, int>>> dim(canvas.size());
    auto put = [&](int row, int col, const std::string& s) {
      if (row < 0 || row >= rows()) return;
      for (size_t i = 0; i < s.size(); ++i) {
        int c = col + static_cast<int>(i);
        if (c >= 0 && c < w) canvas[static_cast<size_t>(row)][static_cast<size_t>(c)] = s[i];
      }
    };
    for (const ControlState& c : controls_) {
      if (!c.visible) continue;
      const int x = c.spec.x / 4, y = c.spec.y / 8;
      const int cw = std::max(1, c.spec.width / 4), ch = std::max(1, c.spec.height / 8);
      switch (c.spec.kind) {
        case ControlKind::text:
          put(y, x, Fit(c.text, cw));
          break;
        case ControlKind::centred_text:
          put(y, x, Centre(c.text, cw));
          break;
        case ControlKind::read_only_edit: {
          std::vector<std::string> lines = Wrap(c.text, cw);
          for (int i = 0; i < ch && i < static_cast<int>(lines.size()); ++i) put(y + i, x, Fit(lines[static_cast<size_t>(i)], cw));
          break;
        }
        case ControlKind::picture: {
          std::vector<std::string> lines = SplitLines(c.text);
          size_t art_width = 0;
          for (const std::string& l : lines) art_width = std::max(art_width, l.size());
          int px = c.spec.centre_horizontally ? (w - static_cast<int>(art_width)) / 2 : x;
          int py = y + std::max(0, (ch - static_cast<int>(lines.size())) / 2);
          for (size_t i = 0; i < lines.size() && static_cast<int>(i) < ch; ++i) put(py + static_cast<int>(i), px, lines[i]);
          break;
        }
        case ControlKind::progress_bar: {
          const int inner = std::max(1, cw - 2);
          const int filled = inner * c.progress / 100;
          std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                            std::string(static_cast<size_t>(inner - filled), '.') + "]";
          std::string pct = " " + std::to_string(c.progress) + "% ";
          bar.replace(static_cast<size_t>(1 + (inner - static_cast<int>(pct.size())) / 2), pct.size(), pct);
          put(y + (ch - 1) / 2, x, bar);
          break;
        }
        case ControlKind::button:
        case ControlKind::default_button: {
          std::string label = "[ " + c.text + " ]";
          int bx = x + std::max(0, (cw - static_cast<int>(label.size())) / 2);
          put(y, bx, label);
          auto& runs = (!c.enabled) ? dim : inverse;
          if (!c.enabled || (focus_ >= 0 && &controls_[static_cast<size_t>(focus_)] == &c)) {
            runs[static_cast<size_t>(y < rows() ? y : 0)].push_back({bx, static_cast<int>(label.size())});
          }
          break;
        }
      }
    }
    std::string out = "\033[?25l";
    out += MoveTo(top, left) + "+" + std::string(static_cast<size_t>(w), '-') + "+";
    out += MoveTo(top + 1, left) + "|" + kInverse + Fit(" " + template_.caption, w) + kReset + "|";
    for (int r = 0; r < rows(); ++r) {
      std::string line = canvas[static_cast<size_t>(r)];
      std::string styled;
      // Styles applied from the right so earlier offsets stay valid.
      std::vector<std::tuple<int, int, const char*>> marks;
      for (auto [col, len] : inverse[static_cast<size_t>(r)]) marks.emplace_back(col, len, kInverse);
      for (auto [col, len] : dim[static_cast<size_t>(r)]) marks.emplace_back(col, len, kDim);
      std::sort(marks.begin(), marks.end(), [](auto& a, auto& b) { return std::get<0>(a) > std::get<0>(b); });
      for (auto& [col, len, style] : marks) {
        if (col < 0 || col + len > w) continue;
        line.insert(static_cast<size_t>(col + len), kReset);
        line.insert(static_cast<size_t>(col), style);
      }
      out += MoveTo(top + 2 + r, left) + "|" + line + "|";
    }
    out += MoveTo(top + 2 + rows(), left) + "+" + std::string(static_cast<size_t>(w), '-') + "+";
    return out;
  }

  // Focus moves over the visible, enabled buttons.
  void move_focus(int step) {
    std::vector<int> order;
    for (size_t i = 0; i < controls_.size(); ++i) {
      if (IsButton(controls_[i]) && controls_[i].visible && controls_[i].enabled) order.push_back(static_cast<int>(i));
    }
    if (order.empty()) {
      focus_ = -1;
      return;
    }
    auto it = std::find(order.begin(), order.end(), focus_);
    int at = it == order.end() ? 0 : static_cast<int>(it - order.begin()) + step;
    at = (at % static_cast<int>(order.size()) + static_cast<int>(order.size())) % static_cast<int>(order.size());
    focus_ = order[static_cast<size_t>(at)];
  }
  // The button Enter presses: the focused one, else the default button.
  int enter_target() {
    if (focus_ >= 0) {
      const ControlState& c = controls_[static_cast<size_t>(focus_)];
      if (c.visible && c.enabled) return c.spec.id;
    }
    for (const ControlState& c : controls_) {
      if (c.spec.kind == ControlKind::default_button && c.visible && c.enabled) return c.spec.id;
    }
    return 0;
  }
  void fix_focus() {
    if (focus_ >= 0) {
      const ControlState& c = controls_[static_cast<size_t>(focus_)];
      if (c.visible && c.enabled) return;
    }
    focus_ = -1;
    move_focus(0);
  }

 private:
  int FirstButton() const {
    int first = -1;
    for (size_t i = 0; i < controls_.size(); ++i) {
      if (!IsButton(controls_[i])) continue;
      if (controls_[i].spec.kind == ControlKind::default_button) return static_cast<int>(i);
      if (first < 0) first = static_cast<int>(i);
    }
    return first;
  }

  DialogTemplate template_;
  std::vector<ControlState> controls_;
  int focus_ = -1;
};

// ---- Dialog windows.

class TextWindow : public DialogWindow {
 public:
  explicit TextWindow(const DialogTemplate& t) : model_(t) {
    std::lock_guard<std::recursive_mutex> lock(TerminalLock());
    has_terminal_ = TheTerminal().open();
  }
  ~TextWindow() override {
    std::lock_guard<std::recursive_mutex> lock(TerminalLock());
    leave_screen();
    if (has_terminal_) TheTerminal().close();
  }

  void set_text(int control, const std::string& text) override {
    invoker_.invoke([&] {
      if (ControlState* c = model_.find(control)) {
        if (c->text == text) return;
        c->text = text;
        redraw();
      }
    });
  }
  void set_progress(int control, int position) override {
    invoker_.invoke([&] {
      ControlState* c = model_.find(control);
      int p = std::clamp(position, 0, 100);
      if (!c || c->progress == p) return;
      c->progress = p;
      redraw();
    });
  }
  void show_control(int control, bool visible) override {
    invoker_.invoke([&] {
      if (ControlState* c = model_.find(control)) {
        c->visible = visible;
        model_.fix_focus();
        redraw();
      }
    });
  }
  void enable_control(int control, bool enabled) override {
    invoker_.invoke([&] {
      if (ControlState* c = model_.find(control)) {
        c->enabled = enabled;
        model_.fix_focus();
        redraw();
      }
    });
  }
  void show(bool visible) override {
    invoker_.invoke([&] {
      if (visible == visible_) return;
      visible_ = visible;
      if (has_terminal_) {
        std::lock_guard<std::recursive_mutex> lock(TerminalLock());
        TheTerminal().set_raw(visible);
      }
      if (visible) {
        redraw();
        if (events_ && events_->shown) events_->shown(*this);
      } else {
        leave_screen();
      }
    });
  }
  void end(int result) override {
    invoker_.invoke([&] {
      ended_ = true;
      result_ = result;
    });
  }

  // Runs `fn` on the dialog's thread (message boxes owned by it).
  void on_dialog_thread(const std::function<void()>& fn) { invoker_.invoke(fn); }
  bool has_terminal() const { return has_terminal_; }
  // Draws again after a box over the dialog went away.
  void repaint() {
    std::lock_guard<std::recursive_mutex> lock(TerminalLock());
    if (visible_ && has_terminal_) {
      TheTerminal().write("\033[2J");
      redraw();
    }
  }

  int run(const DialogEvents& events) {
    events_ = &events;
    show(true);
    while (!ended_) {
      // A hidden dialog reads no keys: they belong to whoever uses the
      // terminal meanwhile.
      pollfd p[2] = {{invoker_.wake_fd(), POLLIN, 0},
                     {has_terminal_ && visible_ ? TheTerminal().fd() : -1, POLLIN, 0}};
      int r = ::poll(p, 2, 500);
      if (r < 0 && errno != EINTR) break;
      invoker_.run_pending();
      if (ended_) break;
      if (has_terminal_ && (p[1].revents & (POLLIN | POLLHUP))) {
        int key;
        {
          std::lock_guard<std::recursive_mutex> lock(TerminalLock());
          key = TheTerminal().read_key(0);
        }
        if (key == KEY_EOF) {
          has_terminal_terminal_lost();
        } else {
          handle_key(key);
        }
      }
    }
    invoker_.close();
    events_ = nullptr;
    return result_;
  }

 private:
  void has_terminal_terminal_lost() {
    // The terminal went away: nobody can press a button any more, so the
    // dialog goes on without one (as without a terminal from the start).
    std::lock_guard<std::recursive_mutex> lock(TerminalLock());
    TheTerminal().close();
    has_terminal_ = false;
  }

  void command(int id) {
    if (id == 0) return;
    if (events_ && events_->command) {
      events_->command(*this, id);
    } else {
      end(id);
    }
  }

  void handle_key(int key) {
    if (!visible_) return;
    switch (key) {
      case KEY_ESC:
        command(DIALOG_CANCEL);
        break;
      case KEY_TAB:
      case KEY_RIGHT:
      case KEY_DOWN:
        model_.move_focus(1);
        redraw();
        break;
      case KEY_BACKTAB:
      case KEY_LEFT:
      case KEY_UP:
        model_.move_focus(-1);
        redraw();
        break;
      case KEY_ENTER:
      case ' ':
        command(model_.enter_target());
        break;
      default:
        break;
    }
  }

  void redraw() {
    if (!visible_ || !has_terminal_) return;
    std::lock_guard<std::recursive_mutex> lock(TerminalLock());
    Terminal& t = TheTerminal();
    if (!on_screen_) {
      // The alternate screen keeps the user's terminal content intact.
      t.write("\033[?1049h\033[2J");
      t.alt_screen = true;
      on_screen_ = true;
    }
    int rows, cols;
    t.size(rows, cols);
    t.write(model_.render(rows, cols));
  }

  void leave_screen() {
    if (!on_screen_) return;
    TheTerminal().write(std::string(kReset) + "\033[2J\033[?1049l\033[?25h");
    TheTerminal().alt_screen = false;
    on_screen_ = false;
  }

  Invoker invoker_;
  DialogModel model_;
  const DialogEvents* events_ = nullptr;
  bool has_terminal_ = false;
  bool visible_ = false;
  bool on_screen_ = false;
  bool ended_ = false;
  int result_ = DIALOG_CANCEL;
};

// ---- Message boxes and the folder prompt, drawn over whatever is shown.

struct BoxLayout {
  int top, left, width, height;
};

BoxLayout PlaceBox(int content_width, int content_rows) {
  int rows, cols;
  TheTerminal().size(rows, cols);
  BoxLayout b;
  b.width = std::min(std::max(content_width + 4, 24), std::max(24, cols - 2));
  b.height = content_rows + 4;
  b.top = std::max(0, (rows - b.height) / 2);
  b.left = std::max(0, (cols - b.width) / 2);
  return b;
}

std::string DrawFrame(const BoxLayout& b, const std::string& title) {
  const int inner = b.width - 2;
  std::string out = "\033[?25l";
  out += MoveTo(b.top, b.left) + "+" + std::string(static_cast<size_t>(inner), '-') + "+";
  out += MoveTo(b.top + 1, b.left) + "|" + kInverse + Fit(" " + title, inner) + kReset + "|";
  for (int r = 2; r < b.height - 1; ++r) out += MoveTo(b.top + r, b.left) + "|" + std::string(static_cast<size_t>(inner), ' ') + "|";
  out += MoveTo(b.top + b.height - 1, b.left) + "+" + std::string(static_cast<size_t>(inner), '-') + "+";
  return out;
}

// Draws and runs a box on the calling thread, which owns the terminal.
int RunBox(const MessageBoxRequest& request) {
  Terminal& t = TheTerminal();
  const std::string title = request.title.value_or("Error");
  int rows, cols;
  t.size(rows, cols);
  const int max_text = std::max(20, std::min(cols - 6, 70));
  std::vector<std::string> lines = Wrap(request.text, max_text);
  int text_width = static_cast<int>(title.size()) + 2;
  for (const std::string& l : lines) text_width = std::max(text_width, static_cast<int>(l.size()));
  if (request.icon != MessageIcon::none) text_width += 4;
  BoxLayout b = PlaceBox(text_width, static_cast<int>(lines.size()) + 1);
  std::vector<std::pair<std::string, int>> buttons = {{"OK", DIALOG_OK}};
  if (request.buttons == MessageButtons::ok_cancel) buttons.push_back({"Cancel", DIALOG_CANCEL});
  size_t focus = 0;
  for (;;) {
    std::string out = DrawFrame(b, title);
    const char* mark = request.icon == MessageIcon::error ? "(X) " : request.icon == MessageIcon::exclamation ? "(!) " : "";
    for (size_t i = 0; i < lines.size(); ++i) {
      out += MoveTo(b.top + 2 + static_cast<int>(i), b.left + 2) + (i == 0 ? mark : (*mark ? "    " : "")) + lines[i];
    }
    std::string row;
    std::vector<int> starts;
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (i) row += "  ";
      starts.push_back(static_cast<int>(row.size()));
      row += "[ " + buttons[i].first + " ]";
    }
    int bx = b.left + (b.width - static_cast<int>(row.size())) / 2;
    out += MoveTo(b.top + b.height - 2, bx);
    for (size_t i = 0; i < buttons.size(); ++i) {
      if (i) out += "  ";
      std::string label = "[ " + buttons[i].first + " ]";
      out += (i == focus ? std::string(kInverse) + label + kReset : label);
    }
    t.write(out);
    int key = t.read_key(-1);
    switch (key) {
      case KEY_EOF:
        return request.buttons == MessageButtons::ok ? DIALOG_OK : DIALOG_CANCEL;
      case KEY_ESC:
        // A box with only OK answers OK to Esc, as on Windows.
        return request.buttons == MessageButtons::ok ? DIALOG_OK : DIALOG_CANCEL;
      case KEY_ENTER:
      case ' ':
        return buttons[focus].second;
      case KEY_TAB:
      case KEY_RIGHT:
      case KEY_DOWN:
        focus = (focus + 1) % buttons.size();
        break;
      case KEY_BACKTAB:
      case KEY_LEFT:
      case KEY_UP:
        focus = (focus + buttons.size() - 1) % buttons.size();
        break;
      default:
        break;
    }
  }
}

// A path prompt; false on Esc or at the end of input.
bool RunPathPrompt(const std::string& title, std::string& path) {
  Terminal& t = TheTerminal();
  int rows, cols;
  t.size(rows, cols);
  const int field = std::max(20, std::min(cols - 8, 70));
  BoxLayout b = PlaceBox(field, 4);
  std::string typed;
  for (;;) {
    std::string out = DrawFrame(b, "Browse for Folder");
    out += MoveTo(b.top + 2, b.left + 2) + Fit(title, b.width - 4);
    out += MoveTo(b.top + 3, b.left + 2) + Fit("Folder (Enter: OK, Esc: Cancel):", b.width - 4);
    std::string shown = typed.size() > static_cast<size_t>(b.width - 5) ? typed.substr(typed.size() - static_cast<size_t>(b.width - 5)) : typed;
    out += MoveTo(b.top + 5, b.left + 2) + std::string(kInverse) + Fit(shown, b.width - 4) + kReset;
    out += MoveTo(b.top + 5, b.left + 2 + static_cast<int>(shown.size())) + "\033[?25h";
    t.write(out);
    int key = t.read_key(-1);
    if (key == KEY_EOF || key == KEY_ESC) {
      t.write("\033[?25l");
      return false;
    }
    if (key == KEY_ENTER) {
      t.write("\033[?25l");
      path = typed;
      return true;
    }
    if (key == KEY_BACKSPACE) {
      if (!typed.empty()) typed.pop_back();
    } else if (key >= 32 && key < 256 && typed.size() < 259) {
      typed.push_back(static_cast<char>(key));
    }
  }
}

class PosixDialogs final : public Dialogs {
 public:
  bool can_show() override {
    int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
  }

  int run_modal(const DialogTemplate& dialog, const DialogEvents& events) override {
    TextWindow window(dialog);
    return window.run(events);
  }

  std::unique_ptr<DialogWindow> open_modeless(const DialogTemplate& dialog) override {
    auto window = std::make_unique<TextWindow>(dialog);
    window->show(true);
    return window;
  }

  int message_box(DialogWindow* owner, const MessageBoxRequest& request) override {
    int answer = DIALOG_CANCEL;
    OnOwnerThread(owner, [&] {
      std::lock_guard<std::recursive_mutex> lock(TerminalLock());
      if (!TheTerminal().open()) {
        // No one can answer: say it on stderr; a question is declined.
        const std::string title = request.title.value_or("Error");
        std::fprintf(stderr, "%s: %s\n", title.c_str(), request.text.c_str());
        std::fflush(stderr);
        answer = request.buttons == MessageButtons::ok ? DIALOG_OK : DIALOG_CANCEL;
        return;
      }
      const bool own_screen = EnterScreen();
      const bool was_raw = TheTerminal().is_raw();
      TheTerminal().set_raw(true);
      answer = RunBox(request);
      TheTerminal().set_raw(was_raw);
      LeaveScreen(own_screen);
      TheTerminal().close();
      Repaint(owner);
    });
    return answer;
  }

  FolderChoice browse_for_folder(DialogWindow* owner, const std::string& title, std::string& path) override {
    FolderChoice choice = FolderChoice::cancelled;
    OnOwnerThread(owner, [&] {
      std::lock_guard<std::recursive_mutex> lock(TerminalLock());
      if (!TheTerminal().open()) return;
      std::string typed;
      const bool own_screen = EnterScreen();
      const bool was_raw = TheTerminal().is_raw();
      TheTerminal().set_raw(true);
      bool ok = RunPathPrompt(title, typed);
      TheTerminal().set_raw(was_raw);
      LeaveScreen(own_screen);
      TheTerminal().close();
      Repaint(owner);
      if (!ok) return;
      std::string full;
      if (typed.empty() || file_system().full_path(typed, full) != Error::none || full.empty()) {
        choice = FolderChoice::no_path;
        return;
      }
      path = full;
      choice = FolderChoice::chosen;
    });
    return choice;
  }

 private:
  // A box with no dialog beneath it gets a screen of its own, so it leaves
  // nothing behind on the user's terminal.
  static bool EnterScreen() {
    Terminal& t = TheTerminal();
    if (t.alt_screen) return false;
    t.write("\033[?1049h\033[2J");
    t.alt_screen = true;
    return true;
  }
  static void LeaveScreen(bool own) {
    if (!own) return;
    Terminal& t = TheTerminal();
    t.write(std::string(kReset) + "\033[2J\033[?1049l\033[?25h");
    t.alt_screen = false;
  }
  static void OnOwnerThread(DialogWindow* owner, const std::function<void()>& fn) {
    if (auto* w = dynamic_cast<TextWindow*>(owner)) {
      w->on_dialog_thread(fn);
    } else {
      fn();
    }
  }
  static void Repaint(DialogWindow* owner) {
    if (auto* w = dynamic_cast<TextWindow*>(owner)) w->repaint();
  }
};

}  // namespace

template <> Dialogs& native<Dialogs>() {
  static PosixDialogs instance;
  return instance;
}

}  // namespace platform
