// Finds message-base files (*.pst, *.ost) in folders and appends them to the base list.
#pragma once

#include <string>

namespace brevik::app {

class AppState;
class TaskEvents;

// Searches `dir` and every folder below it, depth-first, for message-base files. Each folder is
// entered once (a link loop ends its branch). Honours the state's stop event; a stop sets
// `searchResult` to 0 and keeps what was found. Every 102 folders the status line says where
// the search is.
void searchPath(AppState& state, const std::string& dir, TaskEvents* events);

// Appends the message-base files found directly in `dir`; returns how many were new.
int addBasesInDirectory(AppState& state, const std::string& dir);

// True for a file name that a message base may have (".pst" or ".ost", any case).
bool isMessageBaseName(const std::string& name);

}  // namespace brevik::app
