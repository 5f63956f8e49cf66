// nkkivo_bench: measures the library against bare expat and peer libraries.
//
//   nkkivo_bench suite [rounds] [shape:MiB ...]   table of medians on stdout
//   nkkivo_bench write SHAPE MIB FILE             writes a generated document
//   nkkivo_bench cold LIBRARY FILE                one parse in a fresh process
//   nkkivo_bench repeat LIBRARY SHAPE MIB COUNT   parse and destroy COUNT times,
//                                                 for a profiler
//
// The cold form is meant to run under /usr/bin/time -v, which adds the peak
// resident memory of the whole process.
#include "BenchSuite.h"
#include "Contender.h"
#include "DocumentGenerator.h"
#include "HeapMeter.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<Contender> AvailablePeers() {
    std::vector<Contender> peers;
    Contender peer;
    if (MakePugixmlContender(peer)) {
        peers.push_back(peer);
    }
    if (MakeTinyxml2Contender(peer)) {
        peers.push_back(peer);
    }
    if (MakeLibxml2Contender(peer)) {
        peers.push_back(peer);
    }
    return peers;
}

bool FindContender(const std::string& key, Contender& contender) {
    std::vector<Contender> all = {MakeBareExpatContender(), MakeKivoContender()};
    const std::vector<Contender> peers = AvailablePeers();
    all.insert(all.end(), peers.begin(), peers.end());
    const std::vector<std::string> keys = {"expat", "nkkivo", "pugixml", "tinyxml2", "libxml2"};
    for (const Contender& candidate : all) {
        const std::string label = candidate.label;
        for (const std::string& known : keys) {
            if (known == key && label.rfind(key == "nkkivo" ? "nkKivo" : key, 0) == 0) {
                contender = candidate;
                return true;
            }
        }
    }
    return false;
}

int RunSuite(int argc, char** argv) {
    std::size_t rounds = 7;
    int next = 2;
    if (argc > next && std::isdigit(static_cast<unsigned char>(argv[next][0])) != 0) {
        rounds = std::strtoul(argv[next], nullptr, 10);
        ++next;
    }
    std::vector<std::pair<DocumentShape, std::size_t>> jobs;
    for (; next < argc; ++next) {
        const std::string job = argv[next];
        const std::size_t colon = job.find(':');
        DocumentShape shape = DocumentShape::Catalogue;
        if (colon == std::string::npos ||
            !DocumentGenerator::ParseShapeName(job.substr(0, colon), shape)) {
            std::cerr << "unknown job '" << job << "', expected SHAPE:MIB\n";
            return 2;
        }
        jobs.emplace_back(shape, std::strtoul(job.c_str() + colon + 1, nullptr, 10));
    }
    if (jobs.empty()) {
        jobs = {{DocumentShape::Catalogue, 8}};
    }
    HeapMeter::KeepFreedMemory();
    BenchSuite::WriteHeader(std::cout);
    for (const auto& [shape, mebibytes] : jobs) {
        // Large documents get fewer rounds; their medians are steadier.
        const std::size_t scaled = mebibytes >= 64 ? std::max<std::size_t>(3, rounds / 2) : rounds;
        BenchSuite jobSuite(AvailablePeers(), scaled);
        if (!jobSuite.Run(shape, mebibytes, std::cout)) {
            return 1;
        }
    }
    return 0;
}

int WriteDocument(int argc, char** argv) {
    DocumentShape shape = DocumentShape::Catalogue;
    if (argc != 5 || !DocumentGenerator::ParseShapeName(argv[2], shape)) {
        std::cerr << "usage: nkkivo_bench write SHAPE MIB FILE\n";
        return 2;
    }
    const GeneratedDocument doc =
        DocumentGenerator::Generate(shape, std::strtoul(argv[3], nullptr, 10) << 20);
    std::ofstream file(argv[4], std::ios::binary);
    file.write(doc.text.data(), static_cast<std::streamsize>(doc.text.size()));
    std::cout << doc.tagCount << "\n";
    return file ? 0 : 1;
}

int ParseCold(int argc, char** argv) {
    Contender contender;
    if (argc != 4 || !FindContender(argv[2], contender)) {
        std::cerr << "usage: nkkivo_bench cold expat|nkkivo|pugixml|tinyxml2|libxml2 FILE\n";
        return 2;
    }
    std::ifstream file(argv[3], std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    const auto start = std::chrono::steady_clock::now();
    void* const tree = contender.parse(text);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (tree == nullptr) {
        std::cerr << contender.label << " refused the document\n";
        return 1;
    }
    const std::size_t tags = contender.countTags == nullptr ? 0 : contender.countTags(tree);
    contender.destroy(tree);
    std::cout << argv[2] << '\t' << seconds << '\t' << tags << '\n';
    return 0;
}

int RepeatParse(int argc, char** argv) {
    Contender contender;
    DocumentShape shape = DocumentShape::Catalogue;
    if (argc != 6 || !FindContender(argv[2], contender) ||
        !DocumentGenerator::ParseShapeName(argv[3], shape)) {
        std::cerr << "usage: nkkivo_bench repeat LIBRARY SHAPE MIB COUNT\n";
        return 2;
    }
    const GeneratedDocument doc =
        DocumentGenerator::Generate(shape, std::strtoul(argv[4], nullptr, 10) << 20);
    const unsigned long count = std::strtoul(argv[5], nullptr, 10);
    HeapMeter::KeepFreedMemory();
    for (unsigned long i = 0; i < count; ++i) {
        void* const tree = contender.parse(doc.text);
        if (tree == nullptr) {
            std::cerr << contender.label << " refused the document\n";
            return 1;
        }
        contender.destroy(tree);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "suite";
    if (command == "suite") {
        return RunSuite(argc, argv);
    }
    if (command == "write") {
        return WriteDocument(argc, argv);
    }
    if (command == "cold") {
        return ParseCold(argc, argv);
    }
    if (command == "repeat") {
        return RepeatParse(argc, argv);
    }
    std::cerr << "usage: nkkivo_bench suite|write|cold ...\n";
    return 2;
}
