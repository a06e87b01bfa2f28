// The Start/Cancel button: validates the choice, asks before a disk is
// overwritten, opens or creates the image file and starts the worker.
#pragma once

#include "win_api.h"

#include <cstdint>

// Reads the image path and driveText as the window left them (the field
// texts, read by ReadImagePathField), the selected tab and the verify box
// (which only a write heeds). While a job runs it only asks the job to stop.
// On the disk tools tab `diskTool` is the chosen tool; no image file is used.
void PressStartButton(int32_t selectedTab, bool verifyAfterWrite, uint8_t diskTool = 0);

// The checksums button: reads the image path (ReadImagePathField) and starts
// the job that computes the image file's MD5, SHA-1 and SHA-256; the Start
// button cancels it. Nothing while a job runs.
void PressSumsButton();

// Thread entry of every job: the imaging worker, then the close bookkeeping.
DWORD WINAPI RunImagingJob(LPVOID unused);
