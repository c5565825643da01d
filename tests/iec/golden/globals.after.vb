(* Global variables of the press line *)
VAR_GLOBAL
    Pressure : REAL; (* bar *)
    Cycles   : DINT := 0;
    Motor_On                            AT %QX0.0 :BOOL ;  (* #S12M2K0 *)
    Valve_A                             AT %QX1.1 :BOOL ;  (* #S12M2K9 *) (* spare valve *)
    Speed                               AT %IW0 :INT  := 100 ;  (* #S5M1K0 *)
    Handplaced AT %IX9.1 : BOOL;
    (* Old_Lamp : BOOL; *)
    Recipe : STRING(20);
    Alarm                               AT %IX3.5 :BOOL ;  (* #S12M1K13 *)
END_VAR
VAR_GLOBAL CONSTANT
    Max_Speed : INT := 3000;
END_VAR
VAR_GLOBAL RETAIN
    Counter                             :BOOL ; 

END_VAR
