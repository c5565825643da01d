(* Global variables of the press line *)
VAR_GLOBAL
    Pressure : REAL; (* bar *)
    Cycles   : DINT := 0;
    Motor_On                            AT %QX0.0 :BOOL ;  (* #S12M2K0 *)
    Valve_A : BOOL; (* spare valve *)
    Speed : INT := 100;
    Handplaced AT %IX9.1 : BOOL;
    (* Old_Lamp : BOOL; *)
    Recipe : STRING(20);
END_VAR
VAR_GLOBAL CONSTANT
    Max_Speed : INT := 3000;
END_VAR
VAR_GLOBAL RETAIN
    Counter : INT;
    Level_Low : BOOL;
END_VAR
