#pragma once

class TradeClient;

// The program's end, once its window has closed: the journal lines still queued are written
// out, and the trade client is shut down (its socket closed with code 1000, the wait bounded)
// and freed once its thread has ended. main calls it, and so does the program test: what the
// program does at its end is what the test sees.
void endProgram(TradeClient *client);
