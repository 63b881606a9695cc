// vmdx frames: decoder frames through the GPU and back, written as PNG files.
#pragma once
#include <filesystem>
#include <string>

#include "IMediaDirectX9VideoFrame.h"

// argv[0] is "frames"; returns the process exit code.
int RunFramesCommand(int argc, char** argv);

// Reads a GPU frame back through its lock and writes it as a PNG file (video-range YUV stretched
// to full range first); error gets the PNG writer's message when writing fails.
HRESULT WriteFramePng(IMediaDirectX9VideoFrame* frame, bool videoRange, const std::filesystem::path& path,
                      std::string* error);
