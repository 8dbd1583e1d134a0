#include "common/frontend.h"

int main(int argc, char** argv) {
    auto args = trimora::frontend::ArgsOf(argc, argv);
    trimora::frontend::DropLeading(args, {"-cb"});
    std::vector<std::string> tool = {"ffmpeg", "-nostdin"};
    tool.insert(tool.end(), args.begin(), args.end());
    const auto outcome = trimora::frontend::RunTool(tool, [](auto stream, const std::string& chunk) {
        if (stream == trimora::frontend::OutputStream::Out) trimora::frontend::PrintOut(chunk);
        else trimora::frontend::PrintErr(chunk);
    });
    return outcome.Status();
}
