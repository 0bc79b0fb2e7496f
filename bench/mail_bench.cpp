// Mail benchmarks: a 20 MB message with ten attachments loaded (parsed) and regenerated into a
// file, as a received message that a script changes and saves; and the decoding of its
// attachments. bench/mail_vs_python sets the same work beside Python's email package.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "host/net/mail_message.h"
#include "platform/file_io.h"

using namespace quill;
using namespace quill::mail;

namespace {

// Ten attachments of 1.5 MB of scattered bytes (2 MB each in base64), a text and an HTML body.
class TwentyMegabytes {
  public:
    TwentyMegabytes() {
        auto m = MailMessage::create();
        m->setField(HeaderField::kTo, u"bench@example.com");
        m->setField(HeaderField::kSubject, u"Ten attachments");
        std::u16string text;
        for (int i = 0; i < 2000; ++i) text += u"A line of the message text, number forty-two.\r\n";
        m->setText(text);
        m->setHtml(u"<p>" + text + u"</p>");
        uint32_t x = 12345;
        for (int a = 0; a < 10; ++a) {
            std::string bytes(1536 * 1024, '\0');
            for (char& c : bytes) {
                x = x * 1103515245u + 12345u;
                c = static_cast<char>(x >> 16);
            }
            m->addAttachment(u"attachment" + std::u16string(1, char16_t(u'0' + a)) + u".bin",
                             std::move(bytes));
        }
        file_ = platform::createTempFile(&path_);
        std::fclose(file_);
        m->save(path_);
        size_ = m->size();
    }
    ~TwentyMegabytes() { platform::removeNativeFile(path_); }
    const std::string& path() const { return path_; }
    int64_t size() const { return size_; }

  private:
    std::FILE* file_ = nullptr;
    std::string path_;
    int64_t size_ = 0;
};

const TwentyMegabytes& message() {
    static TwentyMegabytes instance;
    return instance;
}

void BM_MailLoadRegenerateSave20MB(benchmark::State& state) {
    const TwentyMegabytes& in = message();
    std::string outPath;
    std::fclose(platform::createTempFile(&outPath));
    for (auto _ : state) {
        auto m = MailMessage::create();
        if (!m->load(in.path())) state.SkipWithError("load failed");
        m->setPriority(m->priority());  // a header change: the whole message is written anew
        if (!m->save(outPath)) state.SkipWithError("save failed");
    }
    platform::removeNativeFile(outPath);
    state.SetBytesProcessed(state.iterations() * in.size());
}

void BM_MailDecodeAttachments20MB(benchmark::State& state) {
    auto m = MailMessage::create();
    m->load(message().path());
    for (auto _ : state) {
        size_t total = 0;
        for (const PartRecord& part : m->index().attachments) total += m->decodePart(part)->size();
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(state.iterations() * message().size());
}

}  // namespace

BENCHMARK(BM_MailLoadRegenerateSave20MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MailDecodeAttachments20MB)->Unit(benchmark::kMillisecond);
