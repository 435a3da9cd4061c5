// Encoding and decoding of a large allocation-grid packet in its JSON form, beside a bare
// simdjson parse of the same text (the floor of any reader) and an nlohmann-json DOM
// parse (the reader not chosen). The figure the reader is judged by is the counter
// "decode/bare" of BM_DecodeOverBareParse: the time of a full decode (parse, checks,
// building the rows) over that of the bare parse, measured side by side; a decode's
// time is BM_DecodePacket (a warm thread), BM_DecodePacketFirstInThread (a new one) and
// BM_DecodeFirstInProcess (a new process), with the heap set as the client sets it; the
// first two beside a bare parse under the same conditions (BM_BareParseFirstInThread,
// BM_BareParseFirstInProcess).
#include <benchmark/benchmark.h>

#include <simdjson.h>
#include "bench/figures_line.h"

#include <time.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include "platform/runtime/heap_tuning.h"
#include "platform/runtime/packet_json.h"

namespace {

using rt::FieldType;

rt::FieldDef Field(const char* name, FieldType type, int size = 20) {
  rt::FieldDef f;
  f.name = name;
  f.type = type;
  f.size = size;
  return f;
}

// The allocation grid's layout, in its order; QTHORAS is calculated and stays home.
std::vector<rt::FieldDef> GridFields() {
  std::vector<rt::FieldDef> f = {
      Field("VRCOBRMOBRA", FieldType::Float),        Field("NRFORNE", FieldType::Float),
      Field("CDPRODUTO", FieldType::String, 10),     Field("NMPRODUTO", FieldType::String, 50),
      Field("NRINSJURFORN", FieldType::String, 20),  Field("NMRAZSOCFORN", FieldType::String, 40),
      Field("NMFANTFORN", FieldType::String, 40),    Field("QTPRODMOBRA", FieldType::Float),
      Field("IDTPIJURFORN", FieldType::String, 1),   Field("CDFORNECED", FieldType::String, 21),
      Field("CDFILIAL", FieldType::String, 4),       Field("NRORCAEVENTO", FieldType::String, 10),
      Field("NRSEQORCAEVE", FieldType::String, 2),   Field("NRTURNO", FieldType::String, 2),
      Field("NMFORNMOBRA", FieldType::String, 50),   Field("HRINITUMOBRA", FieldType::String, 5),
      Field("QTHREVENTO", FieldType::Float),         Field("QTHORAS", FieldType::String, 8),
      Field("IDCONTAGERADA", FieldType::String, 1),  Field("VRPAGOFORNORC", FieldType::Float),
      Field("IDTIPOPAGAFORN", FieldType::String, 10)};
  f[17].calculated = true;
  f[3].display_label = "Descrição da Mão de Obra";
  f[3].provider_flags = rt::ProviderFlags::NotApplied();
  return f;
}

// 10,000 units of labour: three in four allocated, the rest free, as a load builds them.
rt::DataPacket GridPacket(int rows) {
  static const char* kProducts[] = {
      "GARÇOM", "COPEIRA", "MAITRE", "CHURRASQUEIRO", "RECEPCIONISTA", "AUXILIAR DE COZINHA", "BARMAN", "SEGURANÇA"};
  static const char* kNames[] = {"JOÃO DA SILVA", "MARIA APARECIDA SOUZA", "JOSÉ CARLOS PEREIRA", "ANA PAULA OLIVEIRA",
                                 "FRANCISCO DAS CHAGAS LIMA"};
  rt::DataPacket p;
  p.fields = GridFields();
  p.rows.reserve(rows);
  for (int i = 0; i < rows; ++i) {
    const int item = i / 25;
    const bool allocated = i % 4 != 3;
    const std::string product = std::string(kProducts[item % 8]) + " " + std::to_string(item);
    const std::string code = "00" + std::to_string(100000 + item);
    const char* name = kNames[i % 5];
    const std::string registration = std::to_string(10000000000LL + 7919LL * i);
    auto text = [&](std::string s) { return allocated ? rt::Variant(std::move(s)) : rt::Variant(""); };
    p.rows.push_back({rt::Variant(),
                      static_cast<double>(i % 25 + 1),
                      code,
                      product,
                      text(registration),
                      text(name),
                      text(name),
                      rt::Variant(),
                      text("F"),
                      text("000000" + registration.substr(0, 8)),
                      "0001",
                      "0000012345",
                      "00",
                      "01",
                      text(name),
                      text(i % 2 ? "0830" : "1900"),
                      5.5,
                      rt::Variant(),
                      text("N"),
                      allocated ? rt::Variant(150.0 + (i % 7) * 12.5) : rt::Variant(),
                      text(i % 3 ? "CONTAPAGAR" : "FOLHAPAGA")});
  }
  return p;
}

const rt::DataPacket& Packet() {
  static const rt::DataPacket packet = GridPacket(10'000);
  return packet;
}

const std::string& Text() {
  static const std::string text = rt::EncodePacket(Packet());
  return text;
}

void BM_EncodePacket(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(rt::EncodePacket(Packet()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}
BENCHMARK(BM_EncodePacket)->Unit(benchmark::kMillisecond);

void BM_DecodePacket(benchmark::State& state) {
  for (auto _ : state) {
    std::optional<rt::DataPacket> packet(rt::DecodePacket(Text()));
    benchmark::DoNotOptimize(*packet);
    state.PauseTiming();  // the freeing belongs to whoever the decode hands the packet on to
    packet.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}
BENCHMARK(BM_DecodePacket)->Unit(benchmark::kMillisecond);

// The bare parse of a new thread or a new process, the reference of the two first
// decodes below: the same text parsed by a new simdjson DOM parser under the same
// conditions, so that a first decode is set against a first parse and not against the
// warm parse of BM_BareSimdjsonParse (a new process pays for every page it touches, the
// parse's as much as the decode's).
std::size_t BareParse(const std::string& text) {
  simdjson::dom::parser parser;
  simdjson::dom::element root;
  simdjson::dom::array rows;  // counted, so that the caller can tell the parse was whole
  if (parser.parse(text).get(root) || root["$packet"]["rows"].get(rows)) return 0;
  return rows.size();
}

std::size_t FullDecode(const std::string& text) { return rt::DecodePacket(text).rows.size(); }

// Times `first` (a decode or a bare parse of Text()) in a new thread, once per iteration.
void FirstInThread(benchmark::State& state, std::size_t (*first)(const std::string&)) {
  for (auto _ : state) {
    std::chrono::duration<double> took{};
    std::size_t rows = 0;
    std::thread([&] {
      const auto start = std::chrono::steady_clock::now();
      rows = first(Text());
      took = std::chrono::steady_clock::now() - start;
    }).join();
    if (rows != Packet().rows.size()) {
      state.SkipWithError("the text was not read");
      break;
    }
    state.SetIterationTime(took.count());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}

// The first decode of a thread, as a clerk's first load of a session pays it: the
// thread's parser and text buffer are new and grow to the text's size.
void BM_DecodePacketFirstInThread(benchmark::State& state) { FirstInThread(state, FullDecode); }
BENCHMARK(BM_DecodePacketFirstInThread)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareParseFirstInThread(benchmark::State& state) { FirstInThread(state, BareParse); }
BENCHMARK(BM_BareParseFirstInThread)->UseManualTime()->Unit(benchmark::kMillisecond);

// The first decode of a fresh process, as a clerk's first load after starting the client
// pays it: the parser picks its code for the CPU, and the heap, the parser's buffers and
// the rows are all new. Each iteration starts this program again to read the text once
// (kDecodeOnce: a decode; kParseOnce: the bare parse) and report the time.
constexpr const char* kDecodeOnce = "--decode-once=";
constexpr const char* kParseOnce = "--parse-once=";

int ReadOnce(const char* path, std::size_t (*first)(const std::string&)) {
  std::ifstream file(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const auto start = std::chrono::steady_clock::now();
  const std::size_t rows = first(text);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.9f %zu\n", took.count(), rows);
  return 0;
}

void FirstInProcess(benchmark::State& state, const char* mode) {
  const std::string path = "/tmp/packet_bench_text_" + std::to_string(getpid()) + ".json";
  std::ofstream(path, std::ios::binary) << Text();
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string command = "'" + self + "' " + mode + path;
  for (auto _ : state) {
    FILE* child = popen(command.c_str(), "r");
    double seconds = 0;
    std::size_t rows = 0;
    const bool read = child != nullptr && std::fscanf(child, "%lf %zu", &seconds, &rows) == 2;
    if (child != nullptr) pclose(child);
    if (!read || rows != Packet().rows.size()) {
      state.SkipWithError("the reading process failed");
      break;
    }
    state.SetIterationTime(seconds);
  }
  std::remove(path.c_str());
}

void BM_DecodeFirstInProcess(benchmark::State& state) { FirstInProcess(state, kDecodeOnce); }
BENCHMARK(BM_DecodeFirstInProcess)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareParseFirstInProcess(benchmark::State& state) { FirstInProcess(state, kParseOnce); }
BENCHMARK(BM_BareParseFirstInProcess)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BareSimdjsonParse(benchmark::State& state) {
  const simdjson::padded_string padded(Text());
  simdjson::dom::parser parser;
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}
BENCHMARK(BM_BareSimdjsonParse)->Unit(benchmark::kMillisecond);

// The floor under any decode into variants: parse, then build the rows with no check
// at all. The distance from here to BM_DecodePacket is what the checks cost.
void BM_ParseAndBuildRowsUnchecked(benchmark::State& state) {
  simdjson::dom::parser parser;
  for (auto _ : state) {
    std::optional<std::vector<rt::Row>> rows(std::in_place);
    simdjson::dom::element root;
    simdjson::dom::array list;
    if (parser.parse(Text()).get(root) || root["$packet"]["rows"].get(list)) state.SkipWithError("parse failed");
    rows->reserve(list.size());
    for (simdjson::dom::element row : list) {
      rt::Row& out = rows->emplace_back();
      out.reserve(20);
      for (simdjson::dom::element v : row) {
        if (std::string_view s; !v.get(s)) {
          out.emplace_back(s);
        } else if (double d; !v.get(d)) {
          out.emplace_back(d);
        } else {
          out.emplace_back();
        }
      }
    }
    benchmark::DoNotOptimize(*rows);
    state.PauseTiming();
    rows.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}
BENCHMARK(BM_ParseAndBuildRowsUnchecked)->Unit(benchmark::kMillisecond);

void BM_NlohmannDomParse(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(Text()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Text().size()));
}
BENCHMARK(BM_NlohmannDomParse)->Unit(benchmark::kMillisecond);

// The CPU time of this thread: on a machine shared with other work, wall time would
// charge one side of the ratio with the other processes' turns.
struct ThreadCpuClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<ThreadCpuClock>;
  static time_point now() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return time_point(duration(std::int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec));
  }
};

// Both timed in every iteration, so that the ratio compares like with like.
void BM_DecodeOverBareParse(benchmark::State& state) {
  const simdjson::padded_string padded(Text());
  simdjson::dom::parser parser;
  using Clock = ThreadCpuClock;
  Clock::duration decode{}, bare{};
  for (auto _ : state) {
    std::optional<rt::DataPacket> packet;  // freed outside the timing: a decode hands it on
    const auto t0 = Clock::now();
    packet.emplace(rt::DecodePacket(Text()));
    benchmark::DoNotOptimize(*packet);
    const auto t1 = Clock::now();
    simdjson::dom::element root;
    if (parser.parse(padded).get(root)) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(root);
    const auto t2 = Clock::now();
    decode += t1 - t0;
    bare += t2 - t1;
    state.PauseTiming();
    packet.reset();
    state.ResumeTiming();
  }
  state.counters["decode/bare"] = std::chrono::duration<double>(decode) / std::chrono::duration<double>(bare);
  state.counters["text_MB"] = static_cast<double>(Text().size()) / 1e6;
}
BENCHMARK(BM_DecodeOverBareParse)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  rt::TuneHeapForLargePackets();  // as the desktop client and the server do
  if (argc == 2 && std::string_view(argv[1]).starts_with(kDecodeOnce)) {
    return ReadOnce(argv[1] + std::string_view(kDecodeOnce).size(), FullDecode);
  }
  if (argc == 2 && std::string_view(argv[1]).starts_with(kParseOnce)) {
    return ReadOnce(argv[1] + std::string_view(kParseOnce).size(), BareParse);
  }
  return bench_support::BenchmarkMain(argc, argv);
}
