-- Receiving: one panel for each item that arrives. The operator scans or types the item code, the
-- quantity, the lot number, the expiry date and the storage location; OK sends the receipt as a
-- transaction message and counts it, Cancel (Esc) ends the shift.
--
-- Field definitions, messages and help texts live in the help file (HELP.help); the storage locations
-- in the validation list LOCS.list. This program only draws the form around the panel and handles
-- what the operator confirmed.

-- User variables. The panel writes fields 1 to 5 into variables 1 to 5.
local ITEM, QUANTITY, LOT, EXPIRY, LOCATION = 1, 2, 3, 4, 5
local REASON = 6         -- how the panel ended: OK or CANCEL
local RECEIPT_KEY = 7    -- item and lot, for the duplicate check
local COUNT = 8          -- receipts sent, from the counter
local TIME, DATE = 9, 10 -- the terminal's clock as texts
local OPTIONS = 20       -- the panel's option text
local LAST_LOCATION = 21 -- prefills the location of the next item

local COUNTER = 1        -- DICOUNT counter of receipts
local RECEIPTS = 1       -- CHKUNIQ list of the last ten receipts

local function two(n) return ("%02d"):format(n) end
local function trim(s) return (s:gsub("^%s+", ""):gsub("%s+$", "")) end

-- Shows a short notice in a pop-up window for about two seconds.
local function notice(line1, line2)
  vek.command("POPUPWN", {[10] = "C", [16] = "02", [24] = "Y"})
  vek.write(2, 3, line1, 1)
  vek.write(3, 3, line2, 1)
  vek.command("V_DELAY 40")
  vek.command("POPUPWN R")
end

local function draw_form(count, last)
  vek.command("TM_DATE", {[10] = "24", [30] = two(TIME), [35] = "EURO", [52] = two(DATE)})
  vek.clear()
  vek.write(0, 0, " RECEIVING ", 1)
  vek.write(0, 25, vek.var[DATE] .. " " .. vek.var[TIME]:sub(1, 5))
  vek.write(2, 1, "Item")
  vek.write(4, 1, "Quantity")
  vek.write(6, 1, "Lot")
  vek.write(8, 1, "Expiry")
  vek.write(10, 1, "Location")
  vek.write(14, 1, "Last:     " .. last)
  vek.write(16, 1, "Received: " .. count)
  vek.write(19, 0, "F1 Help F10 OK Esc End F9 Scan")
end

vek.command("SET_HEL FILE=HELP.VAL")
vek.command("DICOUNT", {[10] = "R", [20] = two(COUNTER), length = 21})
vek.command("CHKUNIQ", {[10] = "R", [23] = RECEIPTS})
vek.var[OPTIONS] = "ERET=N,CNP=Y,REASON=" .. REASON

local count, last = 0, "-"
while true do
  draw_form(count, last)
  vek.command("CLEAR_P")
  for definition = 100, 104 do
    vek.command("SET_FIE HELP=" .. definition)
  end
  if vek.command("EXEC_PA VAR=" .. OPTIONS) ~= 1 then
    break -- Cancel, or the terminal asked the program to end
  end

  local item, quantity, lot = trim(vek.var[ITEM]), trim(vek.var[QUANTITY]), trim(vek.var[LOT])
  local expiry, location = trim(vek.var[EXPIRY]), trim(vek.var[LOCATION])
  quantity = ("%.2f"):format(tonumber(quantity) or 0) -- the panel gives it zero-padded: 0012.50
  vek.var[LAST_LOCATION] = location

  vek.var[RECEIPT_KEY] = item .. " " .. lot
  if vek.command("CHKUNIQ", {[10] = "V", [14] = two(RECEIPT_KEY), [25] = RECEIPTS}) == 0 then
    notice("Already received:", "not sent again")
  else
    vek.command(("TRANMSG Y RCV %s %s %s %s %s"):format(item, quantity, lot, expiry, location))
    vek.command("DICOUNT", {[10] = "I", [20] = two(COUNTER), length = 21})
    vek.command("DICOUNT", {[10] = "S", [20] = two(COUNTER), [31] = two(COUNT), length = 32})
    count = tonumber(vek.var[COUNT]) or count + 1
    last = item .. " x " .. quantity
  end
  if vek.stopping() then break end
end

vek.reason(0) -- the panel is done: forget any pop-up window
vek.clear()
vek.write(9, 6, ("Receiving ended: %d sent"):format(count))
vek.command("V_DELAY 40") -- time to read it before the terminal is given back
print(("receipts sent: %d"):format(count))
