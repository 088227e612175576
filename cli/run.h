// The run driver: one job from the command line to the output file.
//
// It owns every buffer of the run (the options record, the input and output
// planes) and decides every exit status: 0 for a written picture and for the
// usage text, 1 for every failure, each reported by one message.
#pragma once

// Runs the whole job; returns the exit status of a completed run and ends
// the process itself on every failure.
int run_velmora(int argc, char** argv);
