// A Go program that uses KaCtrlUtilsC.dll through the syscall package alone (no cgo), as a
// program of any language that can call a C function can. It prints what it was answered,
// one fact per line, and exits 1 when a call surprised it.
package main

import (
	"fmt"
	"os"
	"syscall"
	"unsafe"
)

// The statuses of KaCtrlUtilsC.h.
const (
	success        = 0
	bufferTooSmall = 2
	configError    = 3
)

var (
	library   = syscall.NewLazyDLL("KaCtrlUtilsC.dll")
	surprised = false
)

// call calls the library's function name and answers its status.
func call(name string, args ...uintptr) uintptr {
	status, _, _ := library.NewProc(name).Call(args...)
	return status
}

func expect(name string, status, expected uintptr) {
	if status != expected {
		surprised = true
		fmt.Printf("%s answered %d, not %d\n", name, status, expected)
	}
}

func wide(text string) uintptr {
	units, err := syscall.UTF16PtrFromString(text)
	if err != nil {
		panic(err)
	}
	return uintptr(unsafe.Pointer(units))
}

// answerText calls a function of the sizing convention with args before its buffer: the
// size first, then the text.
func answerText(name string, args ...uintptr) string {
	var needed uintptr
	status := call(name, append(args, 0, 0, uintptr(unsafe.Pointer(&needed)))...)
	if status != bufferTooSmall {
		expect(name, status, bufferTooSmall)
		return ""
	}
	buffer := make([]uint16, needed)
	expect(name, call(name, append(args, uintptr(unsafe.Pointer(&buffer[0])), needed,
		uintptr(unsafe.Pointer(&needed)))...), success)
	return syscall.UTF16ToString(buffer)
}

func main() {
	var status int32
	expect("KaCtrlGetKacdStatus", call("KaCtrlGetKacdStatus", uintptr(unsafe.Pointer(&status))), success)
	fmt.Println("daemon status:", status)
	fmt.Println("log file:", answerText("KaCtrlReplaceDirVariables", wide(`$LogDir\System.txt`)))
	fmt.Println("path:", answerText("KaCtrlAvoidDuplicate", wide(` C:\Tools;c:/tools ; D:\Bin`)))

	short := make([]uint16, 4)
	var needed uintptr
	expect("KaCtrlReplaceDirVariables", call("KaCtrlReplaceDirVariables", wide("$TmpDir"),
		uintptr(unsafe.Pointer(&short[0])), uintptr(len(short)), uintptr(unsafe.Pointer(&needed))), bufferTooSmall)
	fmt.Println("buffer of 4 too small, units needed:", needed)

	var value int32
	expect("KaCtrlGetBooleanFromString", call("KaCtrlGetBooleanFromString", wide("yes"),
		uintptr(unsafe.Pointer(&value))), configError)
	var number uint32
	fmt.Println("failure:", answerText("KaCtrlGetLastFailure", uintptr(unsafe.Pointer(&number))))
	fmt.Println("failure number:", number)
	fmt.Println("error 5:", answerText("KaCtrlGetLastErrorText", 5))
	if surprised {
		os.Exit(1)
	}
}
