// The command modules, one per core module. Each returns its table in the
// order its commands are registered.
#pragma once

#include <vector>

#include "commands/table.h"

std::vector<CommandSpec> IoCommands();
std::vector<CommandSpec> SceneCommands();
std::vector<CommandSpec> ImageCommands();
std::vector<CommandSpec> CImageCommands();
std::vector<CommandSpec> CurveCommands();
std::vector<CommandSpec> FilteringCommands();
std::vector<CommandSpec> RadiometricCommands();
std::vector<CommandSpec> PlaneCommands();
std::vector<CommandSpec> GeometryCommands();
std::vector<CommandSpec> ContextCommands();
std::vector<CommandSpec> Segmentation3Commands();
std::vector<CommandSpec> Radiometric3Commands();
std::vector<CommandSpec> Mathematics3Commands();
std::vector<CommandSpec> Analysis3Commands();
std::vector<CommandSpec> SegmentationCommands();
std::vector<CommandSpec> AnalysisCommands();
std::vector<CommandSpec> ShellCommands();
std::vector<CommandSpec> ShadingCommands();
std::vector<CommandSpec> RaycastingCommands();
std::vector<CommandSpec> SplattingCommands();
std::vector<CommandSpec> GraphicsCommands();
std::vector<CommandSpec> MovieCommands();
std::vector<CommandSpec> VolumeIoCommands();
