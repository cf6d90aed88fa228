// The heat table a newer printer receives when it is opened.
#pragma once

#include "print/heat_table.h"

class CKDCtrl;

// The heat-table operations' way to the printer: builds and exchanges one command.
heat::HeatExchange KD_HeatExchange(CKDCtrl& ctrl);
heat::HeatContext KD_HeatContext(const CKDCtrl& ctrl);

// Sends the on-time table (command 153) to the open newer-form printer; returns the status.
int KD_SendHeatTableOnOpen(CKDCtrl& ctrl);
