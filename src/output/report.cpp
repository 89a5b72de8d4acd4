#include "output/report.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "catalogue/macros.h"
#include "catalogue/picentry.h"
#include "catalogue/picturedecoders.h"
#include "catalogue/rxdoc.h"
#include "catalogue/thumbbuilder.h"
#include "catalogue/workerpool.h"
#include "platform/cpdecode.h"
#include "platform/fileio.h"
#include "platform/ui.h"

namespace tamro {

namespace {

// Clamps a position to the text and backs it off a UTF-8 continuation byte.
std::size_t CharBoundary(std::string_view text, int pos) {
  std::size_t p = pos < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(pos), text.size());
  while (p > 0 && p < text.size() && (static_cast<unsigned char>(text[p]) & 0xC0) == 0x80) --p;
  return p;
}

}  // namespace

std::string InsertMacro(std::string_view text, int selStart, int selEnd, std::string_view macro, int *caret) {
  std::size_t a = CharBoundary(text, selStart), b = CharBoundary(text, selEnd);
  if (a > b) std::swap(a, b);
  std::string result;
  result.reserve(text.size() + macro.size());
  result.append(text.substr(0, a)).append(macro).append(text.substr(b));
  if (caret) *caret = static_cast<int>(a + macro.size());
  return result;
}

CReportOption::CReportOption() : history_("ReportFile", "", 100) {}

void CReportOption::Load() {
  history_.Load();
  format = InitialFormat();
}

std::string CReportOption::InitialFormat() const { return history_.First(kDefaultReportFormat); }

void CReportOption::Accept(const std::string &text) {
  format = text;
  if (text.empty()) return;  // an empty format is not worth a history slot
  history_.Promote(text);
  history_.Save();
}

namespace {

// Lines go out in pieces of this size rather than one write each.
constexpr std::size_t kReportBuffer = 1 << 16;

// What a worker reads for one entry, and what it hands back.
struct FactsJob {
  DecodeJob decode;
  PictureFacts facts;  // the entry's
  bool readFacts = false;  // the entry has no picture facts yet
  bool camera = false;     // ask the description library too ("$(CP)")
};
struct FactsResult {
  DecodeFacts facts;
  bool cameraRead = false;
  std::string camera;
};

// The facts the decoders tell without decoding: the first decoder, in search order, that
// gives them. Only a depth they leave out, and an archive member (which has to be taken out
// first), cost a decode. Safe on any thread.
FactsResult ReadFacts(PictureDecoders &decoders, const FactsJob &job, const DescriptionLookup &describe) {
  FactsResult r;
  r.facts.picture = job.facts;
  const std::string &path = job.decode.path;
  const bool known = !job.readFacts;
  const CellSize smallest{1, 1};
  if (!known && job.decode.member) {
    DecodePicture(decoders, job.decode, &smallest, r.facts, describe);
  } else if (!known) {
    unsigned char head[SPI_HEAD_BYTES] = {};
    std::string bytes;
    if (ReadFileHead(path, sizeof head, bytes)) std::memcpy(head, bytes.data(), bytes.size());
    PictureSource source;
    source.path = path;
    r.facts.picture.decoder = -1;
    int decoder = decoders.FindPictureDecoder(path, head, sizeof head, 0, -1);
    for (int tries = 0; decoder >= 0 && tries < 8; ++tries) {
      SpiPictureInfo info{};
      std::string text;
      if (decoders.GetPictureInfo(decoder, source, info, text) == 0) {
        r.facts.picture.decoder = decoder;
        r.facts.picture.width = info.width;
        r.facts.picture.height = info.height;
        r.facts.picture.bitCount = info.colorDepth;
        std::string description;
        if (job.decode.describeJpeg && decoder == kBuiltinJpegDecoder && describe)
          description = describe(path);
        r.facts.description = description + text;
        r.facts.descriptionChanged = true;
        break;
      }
      const int next = decoders.FindPictureDecoder(path, head, sizeof head, decoder + 1, -1);
      if (next <= decoder) break;
      decoder = next;
    }
    if (r.facts.picture.decoder >= 0 && r.facts.picture.bitCount <= 0)
      DecodePicture(decoders, job.decode, &smallest, r.facts, describe);
  }
  if (job.camera) {
    r.cameraRead = true;
    if (!job.decode.member && r.facts.picture.decoder == kBuiltinJpegDecoder) r.camera = CpDecodeText(path);
  }
  return r;
}

// Reads the facts of the report's entries ahead of the writer, on the workers, and hands
// them over in listing order.
class FactsAhead {
 public:
  FactsAhead(const ReportFacts &where, bool camera) : where_(where), camera_(camera) {
    state_->decoders = where.builder->Decoders();
    state_->describe = where.builder->Describe();
    static std::atomic<uint64_t> reports{0};
    tag_ = (uint64_t{0x7265} << 48) | ++reports;
  }
  ~FactsAhead() {
    if (where_.pool) where_.pool->Cancel(tag_);
  }
  FactsAhead(const FactsAhead &) = delete;
  FactsAhead &operator=(const FactsAhead &) = delete;

  // Queues entry `row` of the document (GUI thread); answers whether anything is to read.
  bool Add(CPicEntry &entry, bool pictureFacts) {
    const bool facts = pictureFacts && !(entry.facts.width > 0 && entry.facts.height > 0);
    const bool camera = camera_ && !entry.cameraRead;
    if (!facts && !camera) return false;
    FactsJob job;
    job.decode = where_.builder->DecodeJobFor(entry);
    job.decode.exifRotate = false;  // sizes are as stored; the tag is not needed
    job.facts = entry.facts;
    job.readFacts = facts;
    job.camera = camera;
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->queue.push_back({std::move(job), {}, false});
    return true;
  }
  // Starts reading the queued entries before `end`.
  void StartUpTo(std::size_t end) {
    if (!where_.pool) return;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      end = std::min(state_->queue.size(), end);
    }
    for (; started_ < end; ++started_) {
      where_.pool->Post(WorkerPool::kVisible, tag_, [state = state_, i = started_] {
        FactsJob job;
        {
          std::lock_guard<std::mutex> lock(state->mutex);
          job = state->queue[i].job;
        }
        FactsResult result =
            state->decoders ? ReadFacts(*state->decoders, job, state->describe) : FactsResult{};
        std::lock_guard<std::mutex> lock(state->mutex);
        state->queue[i].result = std::move(result);
        state->queue[i].done = true;
        state->ready.notify_all();
      });
    }
  }
  // The facts of queued entry `i`, read by now; stored into `entry` when it is still the
  // picture they were read for.
  void Apply(std::size_t i, CPicEntry &entry) {
    FactsJob job;
    FactsResult result;
    if (!where_.pool) {
      {
        std::lock_guard<std::mutex> lock(state_->mutex);
        job = state_->queue[i].job;
      }
      if (state_->decoders) result = ReadFacts(*state_->decoders, job, state_->describe);
    } else {
      StartUpTo(i + 1 + Ahead());
      std::unique_lock<std::mutex> lock(state_->mutex);
      state_->ready.wait(lock, [&] { return state_->queue[i].done; });
      job = std::move(state_->queue[i].job);
      result = std::move(state_->queue[i].result);
    }
    if (job.decode.path != (entry.IsArchiveMember() ? entry.ArchivePath() : entry.FilePath())) return;
    if (job.readFacts) TakeFacts(entry, result.facts);
    if (result.cameraRead) entry.SetCameraText(std::move(result.camera));
  }
  std::size_t Ahead() const {
    return where_.pool ? static_cast<std::size_t>(where_.pool->Threads()) * 8 + 8 : 0;
  }

 private:
  struct Slot {
    FactsJob job;
    FactsResult result;
    bool done = false;
  };
  // Shared with queued tasks, which may outlive the report when it is stopped.
  struct State {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Slot> queue;
    PictureDecoders *decoders = nullptr;
    DescriptionLookup describe;
  };
  ReportFacts where_;
  bool camera_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
  std::size_t started_ = 0;
  uint64_t tag_ = 0;
};

}  // namespace

bool WriteReportFile(CRXDoc &doc, const std::string &path, const std::string &format,
                     const ReportFacts &facts) {
  // Written beside and renamed over the old report only when complete: a full disk keeps it.
  if (!MayReplace(path)) return false;
  AtomicFile file(path);
  if (!file.ok()) return false;

  const int count = doc.GetEntryCount();
  std::vector<int> rows;
  for (int i = 0; i < count; ++i)
    if (CPicEntry *entry = doc.GetEntry(i); entry && entry->IsSelected()) rows.push_back(i);

  // Only the facts the format asks for are read, and only for entries that lack them.
  const unsigned needs = MacroNeeds(format);
  std::unique_ptr<FactsAhead> ahead;
  std::vector<std::ptrdiff_t> slotOf(rows.size(), -1);
  if (facts.builder && facts.builder->Decoders()) {
    ahead = std::make_unique<FactsAhead>(facts, (needs & kReadsPicture) != 0);
    std::ptrdiff_t queued = 0;
    for (std::size_t k = 0; k < rows.size(); ++k) {
      CPicEntry *entry = doc.GetEntry(rows[k]);
      const bool pictureFacts = (needs & kNeedsPictureFacts) || MayInsertMacros(*entry, format);
      if (ahead->Add(*entry, pictureFacts)) slotOf[k] = queued++;
    }
    ahead->StartUpTo(ahead->Ahead());
  }

  std::unique_ptr<ProgressWindow> progress = Ui().OpenProgress("レポートファイル作成中...");
  progress->SetRange(0, static_cast<int>(rows.size()));
  std::string buffer;
  bool ok = true;
  for (std::size_t k = 0; k < rows.size() && ok; ++k) {
    if (progress->Aborted()) break;
    CPicEntry *entry = doc.GetEntry(rows[k]);
    if (!entry) continue;
    if (slotOf[k] >= 0) ahead->Apply(static_cast<std::size_t>(slotOf[k]), *entry);
    progress->SetText(entry->name);
    buffer += ExpandMacros(entry, format);
    buffer += "\r\n";
    if (buffer.size() >= kReportBuffer) {
      ok = file.Write(buffer);
      buffer.clear();
    }
    progress->Step(1);
  }
  progress.reset();
  ahead.reset();
  return ok && file.Write(buffer) && file.Commit();
}

}  // namespace tamro
