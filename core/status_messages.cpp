#include "core/status_messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/status_codes.h"
#include "platform/profile_file.h"

namespace {

constexpr const char* kMessageSection = "STATUS";
constexpr int kChangerCode = 33;
constexpr const char* kChangerMissingEnglish = "No Changer Module Option";
constexpr const char* kChangerMissingKorean = "체인저 모듈 옵션 없음";

// Built-in texts. The English ones are kept word for word (callers compare them); Korean in plain,
// consistent terms (카드, 리본, 헤드(TPH), 장치, ... 오류, ... 시간 초과).
constexpr KD_MessageText kMessages[] = {
    {0, "Success", nullptr,
     "성공", nullptr},
    {3, "Working...", "The device is occupied by another job.",
     "작업 중...", "다른 작업이 장치를 사용하고 있습니다."},
    {4, "Response timeout", "There is no response from the device for a specified response time.",
     "응답 시간 초과", "정해진 시간 안에 장치가 응답하지 않았습니다."},
    {5, "Response Data Frame Error", "Response data frame is invalid.",
     "응답 데이터 형식 오류", "응답 데이터 프레임이 올바르지 않습니다."},
    {7, "TBARCODE.DLL NOT LOADED", "Could not load the TBARCODE.DLL.",
     "TBARCODE.DLL 로드 실패", "TBARCODE.DLL을 불러올 수 없습니다."},
    {8, "GSC.DLL(ORVGSC.DLL) NOT LOADED", "Could not load the GSC.DLL(ORVGSC.DLL).",
     "GSC.DLL(ORVGSC.DLL) 로드 실패", "GSC.DLL(ORVGSC.DLL)을 불러올 수 없습니다."},
    {9, "NACK", "Command can not be processed.(NACK)",
     "NACK", "명령을 처리할 수 없습니다.(NACK)"},
    {10, "TPH Module open", "Please check the TPH module is closed.",
     "헤드(TPH) 모듈 열림", "헤드(TPH) 모듈이 닫혀 있는지 확인하십시오."},
    {11, "TPH Up/Down Failure", nullptr,
     "헤드(TPH) 상하 이동 실패", nullptr},
    {12, "Card jammed", "Remove the jammed card inside the printer.",
     "카드 걸림", "프린터 안에 걸린 카드를 제거하십시오."},
    {13, "TPH temperature trouble", "Check that TPH temperature is within the operating temperature range.",
     "헤드(TPH) 온도 이상", "헤드(TPH) 온도가 동작 온도 범위 안에 있는지 확인하십시오."},
    {14, "Ribbon Encoder Error", "Ribbon encoder error has occurred. Please check the type of ribbon.",
     "리본 인코더 오류", "리본 인코더 오류가 발생했습니다. 리본 종류를 확인하십시오."},
    {15, "Media trouble", "Check out the length of the card and the sensor.",
     "매체 이상", "카드 길이와 센서를 확인하십시오."},
    {16, "EEPROM trouble", "EEPROM error has occurred.",
     "EEPROM 이상", "EEPROM 오류가 발생했습니다."},
    {17, "IC Module Up/Down Error", "IC module up/down error occurred.",
     "IC 모듈 상하 이동 오류", "IC 모듈 상하 이동 오류가 발생했습니다."},
    {18, "Hopper CAM Error", "Hopper CAM error occurred.",
     "호퍼 캠 오류", "호퍼 캠 오류가 발생했습니다."},
    {19, "I2C Timeout", "Ribbon ADC resistor and LCD brightness control operation failed.",
     "I2C 시간 초과", "리본 ADC 저항과 LCD 밝기 조정에 실패했습니다."},
    {20, "Invalid Command", "Command is not valid.",
     "잘못된 명령", "명령이 올바르지 않습니다."},
    {21, "Invalid Parameter", "Parameter is not valid.",
     "잘못된 매개변수", "매개변수가 올바르지 않습니다."},
    {22, "Command Process Timeout", "Command Process Timeout - Command length/frame error",
     "명령 처리 시간 초과", "명령 처리 시간 초과 - 명령 길이 또는 프레임 오류"},
    {23, "[IC] Contact Error", nullptr,
     "[IC] 접촉 오류", nullptr},
    {24, "[MS] Encoder Error", nullptr,
     "[MS] 인코더 오류", nullptr},
    {25, "[MS] Read Error", nullptr,
     "[MS] 읽기 오류", nullptr},
    {26, "[MS] Read STX Error", nullptr,
     "[MS] 읽기 STX 오류", nullptr},
    {27, "[MS] Read Parity Error", nullptr,
     "[MS] 읽기 패리티 오류", nullptr},
    {28, "[MS] Read ETX Error", nullptr,
     "[MS] 읽기 ETX 오류", nullptr},
    {29, "[MS] Read LRC Error", nullptr,
     "[MS] 읽기 LRC 오류", nullptr},
    {30, "IC Module Response Timeout", "IC module did not respond for a specified time.",
     "IC 모듈 응답 시간 초과", "IC 모듈이 정해진 시간 안에 응답하지 않았습니다."},
    {31, "RF Module Response Timeout", "RF module did not respond for a specified time.",
     "RF 모듈 응답 시간 초과", "RF 모듈이 정해진 시간 안에 응답하지 않았습니다."},
    {32, "SAM Module Response Timeout", "SAM module did not respond for a specified time.",
     "SAM 모듈 응답 시간 초과", "SAM 모듈이 정해진 시간 안에 응답하지 않았습니다."},
    {33, "Card Eject Error", nullptr,
     "카드 배출 오류", nullptr},
    {34, "Card Input Timeout", "Please enter the card.",
     "카드 투입 시간 초과", "카드를 넣어 주십시오."},
    {35, "Ribbon Near End", "Ribbon Near End. Please prepare a new ribbon.",
     "리본 소진 임박", "리본이 거의 다 되었습니다. 새 리본을 준비하십시오."},
    {36, "Ribbon Finished", "Ribbon Finished. Please replace the new ribbon.",
     "리본 소진", "리본을 다 썼습니다. 새 리본으로 교체하십시오."},
    {37, "No MS Data", "MS card has no data.",
     "MS 데이터 없음", "MS 카드에 데이터가 없습니다."},
    {38, "RF TAG Ribbon Error", "RF TAG Ribbon Error - Mismatch, Communication Error",
     "RF 태그 리본 오류", "RF 태그 리본 오류 - 불일치 또는 통신 오류"},
    {39, "User's Memory Read/Write Error", "User's memory error has occurred.",
     "사용자 메모리 읽기/쓰기 오류", "사용자 메모리 오류가 발생했습니다."},
    {40, "MS Jitter Error", "MS jitter error has occurred.",
     "MS 지터 오류", "MS 지터 오류가 발생했습니다."},
    {41, "RF TAG Module Response Timeout", "RF TAG module did not respond for a specified time.",
     "RF 태그 모듈 응답 시간 초과", "RF 태그 모듈이 정해진 시간 안에 응답하지 않았습니다."},
    {42, "Incorrect Ribbon", "Load a correct ribbon.",
     "잘못된 리본", "올바른 리본을 넣으십시오."},
    {43, "Printer Locked", "The printer is locked. Using a password, please release the locked state of the printer.",
     "프린터 잠김", "프린터가 잠겨 있습니다. 비밀번호로 프린터 잠금을 해제하십시오."},
    {44, "Triple-DES Error", "Triple-DES error occurred.",
     "Triple-DES 오류", "Triple-DES 오류가 발생했습니다."},
    {45, "Password Error", "Password error occurred.",
     "비밀번호 오류", "비밀번호 오류가 발생했습니다."},
    {46, "Print Job Pool Full", "Exceeded the number of print jobs. Please wait.",
     "인쇄 작업 대기열 가득 참", "인쇄 작업 수를 초과했습니다. 잠시 기다리십시오."},
    {47, "Laminator I/F Timeout", "The laminator interface timed out. Check the device.",
     "라미네이터 인터페이스 시간 초과", "라미네이터 인터페이스 시간이 초과되었습니다. 장치를 확인하십시오."},
    {48, "Laminator I/F Not Ready", "The laminator interface is not ready.",
     "라미네이터 인터페이스 준비 안 됨", "라미네이터 인터페이스가 준비되지 않았습니다."},
    {49, "Card Output Timeout", "Please remove the card into the printer.",
     "카드 배출 시간 초과", "프린터에서 카드를 꺼내 주십시오."},
    {50, "[Changer] Module Response Timeout", nullptr,
     "[체인저] 모듈 응답 시간 초과", nullptr},
    {51, "[Changer] Module Send Timeout", "[Changer] Send Timeout",
     "[체인저] 모듈 전송 시간 초과", "[체인저] 전송 시간 초과"},
    {52, "[Changer] Home Position Failure", nullptr,
     "[체인저] 원점 복귀 실패", nullptr},
    {53, "[Changer] Turn Up Failure", nullptr,
     "[체인저] 회전 실패", nullptr},
    {54, "[Changer] Card Input Timeout", nullptr,
     "[체인저] 카드 투입 시간 초과", nullptr},
    {55, "[Changer] Card Input Jam", nullptr,
     "[체인저] 카드 투입 걸림", nullptr},
    {56, "[Changer] Card Output Jam", nullptr,
     "[체인저] 카드 배출 걸림", nullptr},
    {57, "[Changer] Card Inside", nullptr,
     "[체인저] 내부에 카드 있음", nullptr},
    {60, "[MS] Invalid Track Number", nullptr,
     "[MS] 잘못된 트랙 번호", nullptr},
    {61, "[MS] Invalid data track 1", nullptr,
     "[MS] 트랙 1 데이터 오류", nullptr},
    {62, "[MS] Invalid data track 2", nullptr,
     "[MS] 트랙 2 데이터 오류", nullptr},
    {63, "[MS] Invalid data track 3", nullptr,
     "[MS] 트랙 3 데이터 오류", nullptr},
    {64, "[MS] Invalid length track 1", nullptr,
     "[MS] 트랙 1 길이 오류", nullptr},
    {65, "[MS] Invalid length track 2", nullptr,
     "[MS] 트랙 2 길이 오류", nullptr},
    {66, "[MS] Invalid length track 3", nullptr,
     "[MS] 트랙 3 길이 오류", nullptr},
    {67, "[MS] Invalid data JIS-II", nullptr,
     "[MS] JIS-II 데이터 오류", nullptr},
    {68, "[MS] Invalid length JIS-II", nullptr,
     "[MS] JIS-II 길이 오류", nullptr},
    {69, "[MS] Track or Data Error", "[MS] Invalid Track Number, Data or Length",
     "[MS] 트랙 또는 데이터 오류", "[MS] 트랙 번호, 데이터 또는 길이가 올바르지 않습니다."},
    {70, "Image Process Failure", "error occurred during image processing",
     "이미지 처리 실패", "이미지 처리 중 오류가 발생했습니다."},
    {71, "Image Process Failure", "error occurred during image processing",
     "이미지 처리 실패", "이미지 처리 중 오류가 발생했습니다."},
    {72, "Printer Not Locked", nullptr,
     "프린터 잠기지 않음", nullptr},
    {73, "RF-Tag Data Length Error", nullptr,
     "RF 태그 데이터 길이 오류", nullptr},
    {74, "RF-Tag Data Invalid Error", nullptr,
     "RF 태그 데이터 값 오류", nullptr},
    {75, "RF-Tag Data BCC Error", nullptr,
     "RF 태그 데이터 BCC 오류", nullptr},
    {76, "RF-Tag No Command Error", nullptr,
     "RF 태그 명령 없음 오류", nullptr},
    {77, "RF-Tag UID Mismatch", nullptr,
     "RF 태그 UID 불일치", nullptr},
    {78, "RF-Tag Data Read Infomation Error", nullptr,
     "RF 태그 데이터 읽기 정보 오류", nullptr},
    {80, "Dual Print Not supported.", nullptr,
     "듀얼 인쇄 미지원", nullptr},
    {81, "[RF] Command operating error", nullptr,
     "[RF] 명령 동작 오류", nullptr},
    {82, "[RF] Command length error", nullptr,
     "[RF] 명령 길이 오류", nullptr},
    {83, "[RF] Command BCC error", nullptr,
     "[RF] 명령 BCC 오류", nullptr},
    {84, "[RF] Command process timeout error", nullptr,
     "[RF] 명령 처리 시간 초과", nullptr},
    {86, "[RF] Download a RF main program.", "[RF] You will need to download a RF main program.",
     "[RF] RF 메인 프로그램 다운로드 필요", "[RF] RF 메인 프로그램을 다운로드해야 합니다."},
    {87, "[RF] Download a RF boot program.", "[RF] You will need to download a RF boot program.",
     "[RF] RF 부트 프로그램 다운로드 필요", "[RF] RF 부트 프로그램을 다운로드해야 합니다."},
    {88, "[RF] Card overlap error", nullptr,
     "[RF] 카드 중첩 오류", nullptr},
    {89, "[RF] Command response not value. RF F/W DOWNLOAD", nullptr,
     "[RF] 명령 응답 값 없음. RF 펌웨어 다운로드 필요", nullptr},
    {90, "[SCAN] Idle status", nullptr,
     "[SCAN] 대기 상태", nullptr},
    {91, "[SCAN] Ready", nullptr,
     "[SCAN] 준비됨", nullptr},
    {92, "[SCAN] Card Timeout", nullptr,
     "[SCAN] 카드 시간 초과", nullptr},
    {93, "[SCAN] Calibration", nullptr,
     "[SCAN] 보정 중", nullptr},
    {94, "[SCAN] Starting", nullptr,
     "[SCAN] 시작 중", nullptr},
    {95, "[SCAN] Scanning", nullptr,
     "[SCAN] 스캔 중", nullptr},
    {96, "[SCAN] Scanned", nullptr,
     "[SCAN] 스캔 완료", nullptr},
    {97, "[SCAN] Abnormal Error", nullptr,
     "[SCAN] 비정상 오류", nullptr},
    {98, "Function Not Support", "The function is not supported.",
     "지원하지 않는 기능", "지원하지 않는 기능입니다."},
    {100, "[Laminator] error", nullptr,
     "[라미네이터] 오류 100", nullptr},
    {101, "[Laminator] error", nullptr,
     "[라미네이터] 오류 101", nullptr},
    {102, "[Laminator] error", nullptr,
     "[라미네이터] 오류 102", nullptr},
    {103, "[Laminator] error", nullptr,
     "[라미네이터] 오류 103", nullptr},
    {104, "[Laminator] error", nullptr,
     "[라미네이터] 오류 104", nullptr},
    {105, "[Laminator] error", nullptr,
     "[라미네이터] 오류 105", nullptr},
    {106, "[Laminator] error", nullptr,
     "[라미네이터] 오류 106", nullptr},
    {107, "[Laminator] error", nullptr,
     "[라미네이터] 오류 107", nullptr},
    {108, "[Laminator] error", nullptr,
     "[라미네이터] 오류 108", nullptr},
    {109, "[Laminator] error", nullptr,
     "[라미네이터] 오류 109", nullptr},
    {110, "[Laminator] error", nullptr,
     "[라미네이터] 오류 110", nullptr},
    {111, "[Laminator] error", nullptr,
     "[라미네이터] 오류 111", nullptr},
    {112, "[Laminator] error", nullptr,
     "[라미네이터] 오류 112", nullptr},
    {113, "[Laminator] error", nullptr,
     "[라미네이터] 오류 113", nullptr},
    {114, "[Laminator] error", nullptr,
     "[라미네이터] 오류 114", nullptr},
    {115, "[Laminator] error", nullptr,
     "[라미네이터] 오류 115", nullptr},
    {121, "[IC] Unknown driver or command", nullptr,
     "[IC] 알 수 없는 드라이버 또는 명령", nullptr},
    {122, "[IC] Impossible operation", "[IC] The operation is impossible with this driver.",
     "[IC] 수행할 수 없는 동작", "[IC] 이 드라이버로는 수행할 수 없는 동작입니다."},
    {123, "[IC] Incorrect arguments", "[IC] The number of arguments is incorrect.",
     "[IC] 인수 개수 오류", "[IC] 인수 개수가 올바르지 않습니다."},
    {124, "[IC] Reader command unknown", "[IC] Reader command unknown or invalid command code.",
     "[IC] 알 수 없는 리더 명령", "[IC] 알 수 없거나 잘못된 리더 명령 코드입니다."},
    {125, "[IC] Response too long buffer", "[IC] The response is too long for the buffer.",
     "[IC] 응답이 버퍼보다 김", "[IC] 응답이 버퍼에 비해 너무 깁니다."},
    {126, "[IC] Response error at card reset", "[IC] Response error at the card reset.",
     "[IC] 카드 리셋 시 응답 오류", "[IC] 카드 리셋 시 응답에 오류가 있습니다."},
    {127, "[IC] Message too long", "[IC] Message too long. The buffer is limited to 254 bytes, of which 248 bytes are for the data exchanged with the card.",
     "[IC] 메시지가 너무 김", "[IC] 메시지가 너무 깁니다. 버퍼는 254바이트이며 그중 248바이트가 카드와 주고받는 데이터입니다."},
    {128, "[IC] Byte read error", "[IC] Byte reading Error returned by an asynchronous card.",
     "[IC] 바이트 읽기 오류", "[IC] 비동기 카드가 바이트 읽기 오류를 반환했습니다."},
    {129, "[IC] Card Powered down", "[IC] Card Powered down. A Power Up command must be sent to the card before any other operation.",
     "[IC] 카드 전원 꺼짐", "[IC] 카드 전원이 꺼져 있습니다. 다른 동작 전에 카드 전원 켜기(Power Up) 명령을 보내야 합니다."},
    {130, "[IC] Incorrect parameter", "[IC] A command has been sent with an incorrect number of parameters.",
     "[IC] 잘못된 매개변수", "[IC] 매개변수 개수가 잘못된 명령이 전송되었습니다."},
    {131, "[IC] TCK check byte incorrect", "[IC] The TCK check byte is incorrect in a microprocessor card Answer To Reset.",
     "[IC] TCK 검사 바이트 오류", "[IC] 마이크로프로세서 카드 ATR의 TCK 검사 바이트가 올바르지 않습니다."},
    {132, "[IC] Card reset response error", "[IC] Error in the card reset response, such as unknown exchange protocol, or TA1 byte not recognized.",
     "[IC] 카드 리셋 응답 내용 오류", "[IC] 카드 리셋 응답에 오류가 있습니다(알 수 없는 교환 프로토콜, 인식할 수 없는 TA1 바이트 등)."},
    {133, "[IC] Card protocol error", "[IC] Card protocol error (T=0/T=1).",
     "[IC] 카드 프로토콜 오류", "[IC] 카드 프로토콜 오류입니다(T=0/T=1)."},
    {134, "[IC] Card malfunction", "[IC] Card malfunction. The card does not respond to the reset or has interrupted an exchange by timing out.",
     "[IC] 카드 오동작", "[IC] 카드 오동작. 카드가 리셋에 응답하지 않거나 시간 초과로 교환을 중단했습니다."},
    {135, "[IC] Parity error MP exchange", "[IC] Parity error during a microprocessor exchange.",
     "[IC] MP 교환 패리티 오류", "[IC] 마이크로프로세서 교환 중 패리티 오류가 발생했습니다."},
    {136, "[IC] Card aborted chaining", "[IC] Card has aborted chaining (T=1).",
     "[IC] 카드가 체이닝 중단", "[IC] 카드가 체이닝을 중단했습니다(T=1)."},
    {137, "[IC] Reader aborted chaining", "[IC] Reader has aborted chaining (T=1).",
     "[IC] 리더가 체이닝 중단", "[IC] 리더가 체이닝을 중단했습니다(T=1)."},
    {138, "[IC] RESYNCH success", "[IC] RESYNCH successfully performed by GemCore",
     "[IC] RESYNCH 성공", "[IC] RESYNCH를 수행했습니다."},
    {139, "[IC] Protocol PPS error", "[IC] Protocol Parameter Selection (PPS) error.",
     "[IC] PPS 프로토콜 오류", "[IC] 프로토콜 매개변수 선택(PPS) 오류입니다."},
    {140, "[IC] Card powered up", "[IC] Card already powered up.",
     "[IC] 카드 전원 켜짐", "[IC] 카드 전원이 이미 켜져 있습니다."},
    {141, "[IC] PC-Link not supported", "[IC] PC-Link command not supported.",
     "[IC] PC-Link 미지원", "[IC] PC-Link 명령을 지원하지 않습니다."},
    {142, "[IC] Invalid procedure byte", "[IC] The card has just sent an invalid Procedure Byte (see ISO 7816-3).",
     "[IC] 잘못된 프로시저 바이트", "[IC] 카드가 잘못된 프로시저 바이트를 보냈습니다(ISO 7816-3 참조)."},
    {143, "[IC] Exchange interrupted", "[IC] The card has interrupted an exchange (the card sends an SW1 byte but more data remains to be sent or received).",
     "[IC] 교환 중단됨", "[IC] 카드가 교환을 중단했습니다(SW1 바이트를 보냈으나 주고받을 데이터가 남아 있음)."},
    {145, "[IC] Error returned by the card", "[IC] Error returned by the card. The SW1 and SW2 bytes returned by the card are different than 90h 00h.",
     "[IC] 카드 오류 반환", "[IC] 카드가 오류를 반환했습니다. 카드가 반환한 SW1, SW2 바이트가 90h 00h가 아닙니다."},
    {146, "[IC] Card removed", "[IC] Card removed. The card has been withdrawn during the execution of a command. Check that the card instruction is not partially completed.",
     "[IC] 카드 제거됨", "[IC] 명령 실행 중에 카드가 제거되었습니다. 카드 명령이 일부만 수행되지 않았는지 확인하십시오."},
    {147, "[IC] Short-circuiting", "[IC] The card is consuming too much electricity or is short-circuiting.",
     "[IC] 단락", "[IC] 카드가 전류를 너무 많이 쓰거나 단락되었습니다."},
    {148, "[IC] Card missing", "[IC] Card missing. There is no card in the smart card interface.",
     "[IC] 카드 없음", "[IC] 스마트 카드 인터페이스에 카드가 없습니다."},
    {149, "[IC] Wrong command length", "[IC] Wrong command length.",
     "[IC] 명령 길이 오류", "[IC] 명령 길이가 올바르지 않습니다."},
    {150, "[IC] Invalid slot number", "[IC] The slot number is invalid (it must be set to 0 to 4).",
     "[IC] 잘못된 슬롯 번호", "[IC] 슬롯 번호가 올바르지 않습니다(0~4여야 합니다)."},
    {151, "[IC] Byte displayed is invalid", "[IC] The byte displayed is invalid.",
     "[IC] 표시된 바이트 오류", "[IC] 표시된 바이트가 올바르지 않습니다."},
    {153, "[IC] ATR TOO LONG", "[IC] The ATR is too long (the number of bytes is greater than 33).",
     "[IC] ATR이 너무 김", "[IC] ATR이 너무 깁니다(33바이트 초과)."},
    {154, "[IC] Wrong APDU length", "[IC] The APDU command length is wrong.",
     "[IC] APDU 길이 오류", "[IC] APDU 명령 길이가 올바르지 않습니다."},
    {155, "[IC] Invalid TS of ATR", "[IC] The first byte (TS) of the ATR is invalid (reader in PC/SC - ISO mode).",
     "[IC] ATR의 TS 오류", "[IC] ATR의 첫 바이트(TS)가 올바르지 않습니다(PC/SC - ISO 모드 리더)."},
    {156, "[IC] Receive data from card", "[IC] The reader receives a data from the card while it sends data to the card.",
     "[IC] 카드에서 데이터 수신", "[IC] 카드로 데이터를 보내는 중에 카드에서 데이터를 받았습니다."},
    {157, "[IC] Card not preset or mute", "[IC] The card is not present or it is mute.",
     "[IC] 카드 없음 또는 무응답", "[IC] 카드가 없거나 응답하지 않습니다."},
    {159, "[IC] Error NOT defined", nullptr,
     "[IC] 정의되지 않은 오류", nullptr},
    {160, "[ICMEM] Incorrect smart card handle", "[ICMEM] Incorrect smart card handle (handle NULL)",
     "[ICMEM] 잘못된 스마트 카드 핸들", "[ICMEM] 스마트 카드 핸들이 올바르지 않습니다(NULL 핸들)."},
    {161, "[ICMEM] Incorrect Parameters", nullptr,
     "[ICMEM] 잘못된 매개변수", nullptr},
    {162, "[ICMEM] Incorrect Length", nullptr,
     "[ICMEM] 잘못된 길이", nullptr},
    {163, "[ICMEM] Incorrect Address", nullptr,
     "[ICMEM] 잘못된 주소", nullptr},
    {164, "[ICMEM] Incorrect length vs address", "[ICMEM] Incorrect length versus address ...",
     "[ICMEM] 주소에 맞지 않는 길이", "[ICMEM] 주소에 비해 길이가 올바르지 않습니다."},
    {165, "[ICMEM] Protocol not supported", nullptr,
     "[ICMEM] 지원하지 않는 프로토콜", nullptr},
    {166, "[ICMEM] No Reader Available", nullptr,
     "[ICMEM] 사용 가능한 리더 없음", nullptr},
    {167, "[ICMEM] Unknown Card (No ATR)", "[ICMEM] No ATR pursuant to ISO 7816-3 could be read. And no protocol was recognized.(1st byte received is 00h or FFh)",
     "[ICMEM] 알 수 없는 카드(ATR 없음)", "[ICMEM] ISO 7816-3에 따른 ATR을 읽을 수 없고 프로토콜도 인식하지 못했습니다(첫 수신 바이트가 00h 또는 FFh)."},
    {168, "[ICMEM] Unknown Error", "[ICMEM] No error can be retrieved from hardware",
     "[ICMEM] 알 수 없는 오류", "[ICMEM] 하드웨어에서 오류 정보를 가져올 수 없습니다."},
    {169, "[ICMEM] Incorrect (sub) card type", "[ICMEM] Incorrect card type/sub card type or function not supported for this card type.",
     "[ICMEM] 잘못된 카드 종류", "[ICMEM] 카드 종류나 세부 종류가 올바르지 않거나 이 카드 종류에서 지원하지 않는 기능입니다."},
    {170, "[ICMEM] Buffer length too small", nullptr,
     "[ICMEM] 버퍼 길이 부족", nullptr},
    {171, "[ICMEM] No ICC in the contact unit.", nullptr,
     "[ICMEM] 접촉부에 카드 없음", nullptr},
    {172, "[ICMEM] Access not possible", "[ICMEM] Access not possible (Card not powered; Card locked; No acknowledge with SDA ...)",
     "[ICMEM] 접근 불가", "[ICMEM] 접근할 수 없습니다(카드 전원 꺼짐, 카드 잠김, SDA 응답 없음 등)."},
    {173, "[ICMEM] Writing unsuccessful", "[ICMEM] Writing unsuccessful (Bad acknowledge with SDA, incomplete writing with 2&3-wire protocol)",
     "[ICMEM] 쓰기 실패", "[ICMEM] 쓰기에 실패했습니다(SDA 응답 오류, 2선/3선 프로토콜의 불완전한 쓰기)."},
    {174, "[ICMEM] Wrong password", nullptr,
     "[ICMEM] 비밀번호 오류", nullptr},
    {175, "[ICMEM] Resource Manager unavailable", nullptr,
     "[ICMEM] 리소스 관리자 사용 불가", nullptr},
    {176, "[ICMEM] Invalid Firmware Answer", nullptr,
     "[ICMEM] 잘못된 펌웨어 응답", nullptr},
    {180, "Abnormal Logic", nullptr,
     "비정상 로직", nullptr},
    {181, "[Warning] cards in the hopper is empty", nullptr,
     "[경고] 호퍼에 카드 없음", nullptr},
    {182, "Ribbon Sensor Adjust Error", nullptr,
     "리본 센서 조정 오류", nullptr},
    {183, "USB Cable is Unpluged.", nullptr,
     "USB 케이블 분리됨", nullptr},
    {184, "Path Sensor Detection Error", nullptr,
     "경로 센서 감지 오류", nullptr},
    {190, "Laminator heat over Error.", nullptr,
     "[라미네이터] 과열 오류", nullptr},
    {191, "Laminator has no cards in the hopper.", nullptr,
     "[라미네이터] 호퍼에 카드 없음", nullptr},
    {192, "Laminator's cover is opened.", nullptr,
     "[라미네이터] 덮개 열림", nullptr},
    {193, "Laminator's catridge Error.", nullptr,
     "[라미네이터] 카트리지 오류", nullptr},
    {194, "(Laminator) There is no ribbon.", nullptr,
     "[라미네이터] 리본 없음", nullptr},
    {195, "(Laminator) Ribbon RF error.", nullptr,
     "[라미네이터] 리본 RF 오류", nullptr},
    {196, "Laminator's ribbon mode error.", nullptr,
     "[라미네이터] 리본 모드 오류", nullptr},
    {197, "Laminator ribbon sync Error.", nullptr,
     "[라미네이터] 리본 동기화 오류", nullptr},
    {198, "Laminator card jam error.", nullptr,
     "[라미네이터] 카드 걸림", nullptr},
    {199, "On laminating, card jam error.", nullptr,
     "[라미네이터] 라미네이팅 중 카드 걸림", nullptr},
    {200, "Laminator heat Error.", nullptr,
     "[라미네이터] 히터 오류", nullptr},
    {201, "Laminator Heating motor Error.", nullptr,
     "[라미네이터] 히팅 모터 오류", nullptr},
    {202, "MSRW already in use.", "The printer is in the process of MSRW.",
     "MSRW 사용 중", "프린터가 MSRW 작업을 처리하고 있습니다."},
    {203, "Printer already in use.", "The printer is in use the process of printing.",
     "프린터 사용 중", "프린터가 인쇄 작업을 처리하고 있습니다."},
    {204, "IC/RF/SAM already in use.", "The printer is in the process of IC/RF/SAM.",
     "IC/RF/SAM 사용 중", "프린터가 IC/RF/SAM 작업을 처리하고 있습니다."},
    {208, "Scanner already in use.", "The printer is in the process of scaning.",
     "스캐너 사용 중", "프린터가 스캔 작업을 처리하고 있습니다."},
    {210, "[Dispenser] Module Response Timeout", nullptr,
     "[디스펜서] 모듈 응답 시간 초과", nullptr},
    {240, "Rewrite Printer Paramter Error.", nullptr,
     "[리라이트] 프린터 매개변수 오류", nullptr},
    {241, "Rewrite Printer Rewrite Paramter Error.", nullptr,
     "[리라이트] 재기록 매개변수 오류", nullptr},
    {242, "Rewrite Lock Setting Error.", nullptr,
     "[리라이트] 잠금 설정 오류", nullptr},
    {243, "Rewrite Ribbon Exist Error.", nullptr,
     "[리라이트] 리본 장착 오류", nullptr},
    {1000, "[Device] OK", nullptr,
     "[장치] 정상", nullptr},
    {1001, "[Device] Invalid Handle", "[Device] The handle is invalid. The device is being used by another program.",
     "[장치] 잘못된 핸들", "[장치] 핸들이 올바르지 않습니다. 다른 프로그램이 장치를 사용하고 있습니다."},
    {1002, "[Device] Device not found", "[Device] The program cannot find the device specified.",
     "[장치] 장치를 찾을 수 없음", "[장치] 지정한 장치를 찾을 수 없습니다."},
    {1003, "[Device] Device not opened", "[Device] The program cannot open the device.",
     "[장치] 장치가 열리지 않음", "[장치] 장치를 열 수 없습니다."},
    {1004, "[Device] I/O error", "[Device] The program cannot input/output to the specified device.",
     "[장치] 입출력 오류", "[장치] 지정한 장치와 입출력할 수 없습니다."},
    {1005, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1006, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1007, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1008, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1009, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1010, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1011, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1012, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1013, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1014, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1015, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1016, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1017, "[Device] Function Not Support", nullptr,
     "[장치] 지원하지 않는 기능", nullptr},
    {1018, "[Device] Error Occurred", "[Device] An device error occurred. Check the device.",
     "[장치] 오류 발생", "[장치] 장치 오류가 발생했습니다. 장치를 확인하십시오."},
    {1019, "[Device] Device List Not Ready", "[Device] The device list is not ready.",
     "[장치] 장치 목록 준비 안 됨", "[장치] 장치 목록이 준비되지 않았습니다."},
    {1040, "[Device] FTD2XX.DLL NOT LOADED", nullptr,
     "[장치] FTD2XX.DLL 로드 실패", nullptr},
    {12336, "Success", nullptr,
     "성공", nullptr},
};

constexpr KD_MessageText kUnknownMessage = {-1, "Unknown Error", "The unknown error happened.",
                                            "알 수 없는 오류", "알 수 없는 오류가 발생했습니다."};

const KD_MessageText& Find(int code) {
    for (const KD_MessageText& entry : kMessages)
        if (entry.code == code) return entry;
    return kUnknownMessage;
}

// The language of the user's locale: Korean for "ko...", else English.
int DefaultLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        return std::strncmp(value, "ko", 2) == 0 ? KD_LANG_KOREAN : KD_LANG_ENGLISH;
    }
    return KD_LANG_ENGLISH;
}

// The value of the code's key in a message file; false when the file or the key is missing.
bool LookUpFile(int languageId, int code, int type, std::string* text) {
    std::string value = plat::ProfileGetString(KD_MessageFileName(languageId), kMessageSection,
                                               std::to_string(code), "",
                                               KD_MESSAGE_FILE_VALUE_MAX + 1);
    value.resize(KD_Utf8Prefix(value, KD_MESSAGE_FILE_VALUE_MAX));
    if (value.empty()) return false;
    KD_MessageParts parts = KD_SplitMessageValue(value);
    *text = type == KD_MSG_SHORT ? parts.shortText : parts.longText;
    return true;
}

}  // namespace

std::span<const KD_MessageText> KD_BuiltInMessages() { return kMessages; }

const KD_MessageText& KD_UnknownMessage() { return kUnknownMessage; }

std::string KD_MessageFileName(int languageId) {
    char name[32];
    std::snprintf(name, sizeof name, "orvmsg%04X.msg", static_cast<unsigned>(languageId & 0xFFFF));
    return name;
}

KD_MessageParts KD_SplitMessageValue(const std::string& value) {
    const size_t separator = value.find("||");
    if (separator == std::string::npos) return {value, value};
    return {value.substr(0, separator), value.substr(separator + 2)};
}

size_t KD_Utf8Prefix(const std::string& text, size_t maxBytes) {
    const size_t end = text.size() < maxBytes ? text.size() : maxBytes;
    // Find the lead byte of the last character and drop it when its bytes end past `end`.
    size_t lead = end;
    while (lead > 0 && end - lead < 4) {
        const unsigned char byte = static_cast<unsigned char>(text[--lead]);
        if ((byte & 0xC0) == 0x80) continue;  // continuation byte
        const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return end - lead < length ? lead : end;
    }
    return end;
}

CKDMessage::CKDMessage() : m_LanguageId(DefaultLanguage()) {}

std::string CKDMessage::Text(int status, int type) const {
    // The group forms "60" and "70" read as the group's summary code.
    int code = status;
    if (status == KD_FORM_MS_GROUP) code = ERR_KD_MS_TRACK_DATA;
    if (status == KD_FORM_IMAGE_GROUP) code = ERR_KD_IMAGE_PROCESS;

    const int language = m_LanguageId;
    std::string text;
    if (LookUpFile(language, code, type, &text)) return text;
    if (language != KD_LANG_ENGLISH && LookUpFile(KD_LANG_ENGLISH, code, type, &text))
        return text;

    const bool korean = language == KD_LANG_KOREAN && type >= KD_MSG_SHORT &&
                        type <= KD_MSG_LONG_CHANGER;
    if (code == kChangerCode && (type == KD_MSG_LONG_CHANGER || type == KD_MSG_ENGLISH_CHANGER))
        return korean ? kChangerMissingKorean : kChangerMissingEnglish;
    const KD_MessageText& entry = Find(code);
    if (type == KD_MSG_SHORT) return korean ? entry.koreanShort : entry.englishShort;
    if (type == KD_MSG_ENGLISH_SHORT || type == KD_MSG_ENGLISH_CHANGER) return entry.englishShort;
    if (korean) return entry.koreanLong ? entry.koreanLong : entry.koreanShort;
    return entry.englishLong ? entry.englishLong : entry.englishShort;
}

CKDMessage& KDMessage() {
    static CKDMessage message;
    return message;
}
